// Reading and writing the record files behind the code's back, as a test must.
#pragma once

#include "platform/records/recordstore.h"

#include <QFile>
#include <QTest>

inline QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// The record folder's files made and holding this pair, as another copy left them.
inline RecordStore storeHolding(const QString &dir, const QByteArray &score, const QByteArray &name,
                                LockPatience patience = {})
{
    RecordStore store(dir, patience);
    store.EnsureRecordFiles();
    put(store.scorePath(), score);
    put(store.namePath(), name);
    return store;
}
