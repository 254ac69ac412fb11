// Between the record-file code every system shares and each system's own part.
#pragma once

#include "platform/records/recordfiles.h"

namespace RecordFiles::Native {

Handle failed(const QString &reason);

// Up to `size` bytes from `offset`: how many were read, 0 at the end, -1 with
// `error` set when reading failed.
qint64 readAt(const Handle &file, qint64 offset, char *buffer, qint64 size, QString &error);
// Some of `size` bytes at `offset`: how many were written, or -1 with `error` set.
qint64 writeAt(const Handle &file, qint64 offset, const char *data, qint64 size, QString &error);
// Cuts the file to `size` bytes; an error text or empty.
QString setLength(const Handle &file, qint64 size);

} // namespace RecordFiles::Native
