// The record files in a folder of the test's own.
#include "platform/recordfiles.h"
#include "platform/recordstore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

mode_t modeOf(const QString &path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}
} // namespace

class TestRecordStore : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void firstRunCreatesTwoEmptyFilesForEveryUser();
    void existingRecordIsLeftAlone();
    void nameWithSpacesAndAccentsRoundTrips();
    void windows1252RecordIsReadWithItsAccents();

    void unsafeRecordFileCountsAsEmpty_data();
    void unsafeRecordFileCountsAsEmpty();
    void linkedRecordFileIsNeverWrittenThrough();
    void linkedRecordFolderIsNotFollowed();
    void folderThatCannotBeMadeIsReported();

    void saveOnlyWhenStrictlyBetter_data();
    void saveOnlyWhenStrictlyBetter();
    void failedNameWriteRestoresTheOldScore();

    void readerWaitsBrieflyForAWriterThenGoesOn();
    void saveGivesUpWhileAnotherCopyHoldsTheLock();
    void racingWritersNeverMixAScoreWithAnotherName();

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_dir; // as the program holds it: ending with a separator
};

void TestRecordStore::init()
{
    ::umask(022);
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_dir = m_tmp->path() + QStringLiteral("/records/");
}

void TestRecordStore::firstRunCreatesTwoEmptyFilesForEveryUser()
{
    RecordStore store(m_dir);
    QCOMPARE(store.scorePath(), m_dir + QStringLiteral("/suc000.txt"));
    QVERIFY(store.EnsureRecordFiles().isEmpty());
    QCOMPARE(modeOf(m_tmp->path() + QStringLiteral("/records")), mode_t(0755));
    for (const QString &path : {store.scorePath(), store.namePath()}) {
        QCOMPARE(contentOf(path), QByteArray());
        QCOMPARE(modeOf(path), mode_t(0666));
    }
    const StoredRecord record = store.LoadRecord();
    QVERIFY(record.errors.isEmpty());
    QCOMPARE(record.score, QString());
    QCOMPARE(record.name, QString());
}

void TestRecordStore::existingRecordIsLeftAlone()
{
    RecordStore store(m_dir);
    store.EnsureRecordFiles();
    put(store.scorePath(), "17\r\n");
    ::chmod(QFile::encodeName(store.scorePath()).constData(), 0640);
    QVERIFY(store.EnsureRecordFiles().isEmpty());
    QCOMPARE(contentOf(store.scorePath()), QByteArray("17\r\n"));
    QCOMPARE(modeOf(store.scorePath()), mode_t(0640));
}

void TestRecordStore::nameWithSpacesAndAccentsRoundTrips()
{
    RecordStore store(m_dir);
    store.EnsureRecordFiles();
    QCOMPARE(RecordStore::WriteRecordFile(store.namePath(), QStringLiteral("Maria Luisa Niccolò")), QString());
    QCOMPARE(RecordStore::WriteRecordFile(store.scorePath(), QStringLiteral("23")), QString());
    QCOMPARE(contentOf(store.namePath()), QStringLiteral("Maria Luisa Niccolò\r\n").toUtf8());
    const StoredRecord record = store.LoadRecord();
    QCOMPARE(record.name, QStringLiteral("Maria Luisa Niccolò\r\n"));
    QCOMPARE(record.score, QStringLiteral("23\r\n"));

    // A shorter record replaces a longer one whole.
    QCOMPARE(RecordStore::WriteRecordFile(store.namePath(), QStringLiteral("Al")), QString());
    QCOMPARE(contentOf(store.namePath()), QByteArray("Al\r\n"));
}

void TestRecordStore::windows1252RecordIsReadWithItsAccents()
{
    RecordStore store(m_dir);
    store.EnsureRecordFiles();
    put(store.namePath(), "Niccol\xf2 \x80\r\n");
    QCOMPARE(store.LoadRecord().name, QStringLiteral("Niccolò €\r\n"));
    QCOMPARE(RecordFiles::decode("caff\xc3\xa8"), QStringLiteral("caffè"));
}

void TestRecordStore::unsafeRecordFileCountsAsEmpty_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("symbolic link") << "link";
    QTest::newRow("fifo") << "fifo";
    QTest::newRow("10 MB") << "large";
    QTest::newRow("folder") << "folder";
}

void TestRecordStore::unsafeRecordFileCountsAsEmpty()
{
    QFETCH(QString, kind);
    RecordStore store(m_dir);
    store.EnsureRecordFiles();
    put(store.namePath(), "Anna\r\n");
    const QByteArray score = QFile::encodeName(store.scorePath());
    ::unlink(score.constData());
    if (kind == QLatin1String("link")) {
        put(m_tmp->path() + QStringLiteral("/secret"), "99\r\n");
        QVERIFY(::symlink(QFile::encodeName(m_tmp->path() + QStringLiteral("/secret")).constData(), score.constData()) == 0);
    } else if (kind == QLatin1String("fifo")) {
        QVERIFY(::mkfifo(score.constData(), 0666) == 0);
    } else if (kind == QLatin1String("large")) {
        put(store.scorePath(), QByteArray(10 * 1024 * 1024, '7'));
    } else {
        QVERIFY(::mkdir(score.constData(), 0755) == 0);
    }

    QElapsedTimer timer;
    timer.start();
    const StoredRecord record = store.LoadRecord();
    QVERIFY2(timer.elapsed() < 500, "must not block on a strange file");
    QCOMPARE(record.score, QString());
    QCOMPARE(record.name, QString());
    QCOMPARE(record.errors.size(), 1);
    QVERIFY2(record.errors.first().contains(QStringLiteral("suc000.txt")), qPrintable(record.errors.first()));
    // Making the files again is no worse: the strange one stays as it is.
    store.EnsureRecordFiles();
    QCOMPARE(store.LoadRecord().score, QString());
}

void TestRecordStore::linkedRecordFileIsNeverWrittenThrough()
{
    RecordStore store(m_dir);
    store.EnsureRecordFiles();
    const QString target = m_tmp->path() + QStringLiteral("/victim");
    put(target, "keep me");
    ::unlink(QFile::encodeName(store.namePath()).constData());
    QVERIFY(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(store.namePath()).constData()) == 0);

    QVERIFY(!RecordStore::WriteRecordFile(store.namePath(), QStringLiteral("Eve")).isEmpty());
    const SaveResult result = store.SaveRecordIfBetter(QStringLiteral("5"), QStringLiteral("Eve"), QString());
    QCOMPARE(result.outcome, SaveOutcome::Failed);
    QVERIFY(result.error.contains(QStringLiteral("nsuc000.txt")));
    QCOMPARE(contentOf(target), QByteArray("keep me"));
    QCOMPARE(contentOf(store.scorePath()), QByteArray());
}

void TestRecordStore::linkedRecordFolderIsNotFollowed()
{
    const QString real = m_tmp->path() + QStringLiteral("/elsewhere");
    QVERIFY(QDir().mkpath(real));
    QVERIFY(::symlink(QFile::encodeName(real).constData(), QFile::encodeName(m_tmp->path() + QStringLiteral("/records")).constData()) == 0);
    RecordStore store(m_dir);
    QCOMPARE(store.EnsureRecordFiles().size(), 2);
    QVERIFY(!QFile::exists(real + QStringLiteral("/suc000.txt")));
}

void TestRecordStore::folderThatCannotBeMadeIsReported()
{
    // Root may write anywhere; a folder below a plain file fails for everyone.
    put(m_tmp->path() + QStringLiteral("/plain"), "x");
    RecordStore store(m_tmp->path() + QStringLiteral("/plain/records/"));
    const QStringList errors = store.EnsureRecordFiles();
    QCOMPARE(errors.size(), 2);
    QVERIFY2(errors.first().startsWith(QStringLiteral("Non riesco a creare il file del record ")), qPrintable(errors.first()));
    QVERIFY(errors.first().contains(m_tmp->path() + QStringLiteral("/plain/records/suc000.txt")));
    QCOMPARE(store.LoadRecord().errors.size(), 2);
    const SaveResult result = store.SaveRecordIfBetter(QStringLiteral("3"), QStringLiteral("Anna"), QString());
    QCOMPARE(result.outcome, SaveOutcome::Failed);
    QVERIFY(result.error.startsWith(QStringLiteral("Non riesco a scrivere il file del record ")));
}

void TestRecordStore::saveOnlyWhenStrictlyBetter_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("score");
    QTest::addColumn<int>("outcome");
    QTest::newRow("zero against empty") << QByteArray() << QString() << "0" << int(SaveOutcome::NotBetter);
    QTest::newRow("one against empty") << QByteArray() << QString() << "1" << int(SaveOutcome::Saved);
    QTest::newRow("tie") << QByteArray("7\r\n") << "7\r\n" << "7" << int(SaveOutcome::NotBetter);
    QTest::newRow("one more") << QByteArray("7\r\n") << "7\r\n" << "8" << int(SaveOutcome::Saved);
    QTest::newRow("another copy set more meanwhile") << QByteArray("9\r\n") << "7\r\n" << "8" << int(SaveOutcome::BeatenMeanwhile);
    QTest::newRow("another copy set less meanwhile") << QByteArray("3\r\n") << "7\r\n" << "8" << int(SaveOutcome::Saved);
}

void TestRecordStore::saveOnlyWhenStrictlyBetter()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, shown);
    QFETCH(QString, score);
    QFETCH(int, outcome);
    RecordStore store(m_dir);
    store.EnsureRecordFiles();
    put(store.scorePath(), stored);
    put(store.namePath(), stored.isEmpty() ? QByteArray() : QByteArray("Old\r\n"));

    const SaveResult result = store.SaveRecordIfBetter(score, QStringLiteral("New One"), shown);
    QCOMPARE(int(result.outcome), outcome);
    if (outcome == int(SaveOutcome::Saved)) {
        QCOMPARE(contentOf(store.scorePath()), score.toUtf8() + "\r\n");
        QCOMPARE(contentOf(store.namePath()), QByteArray("New One\r\n"));
    } else {
        QCOMPARE(contentOf(store.scorePath()), stored);
    }
    if (outcome == int(SaveOutcome::BeatenMeanwhile))
        QCOMPARE(result.storedName, QStringLiteral("Old\r\n"));
}

void TestRecordStore::failedNameWriteRestoresTheOldScore()
{
    RecordStore store(m_dir);
    store.EnsureRecordFiles();
    put(store.scorePath(), "5\r\n");
    put(store.namePath(), "Old\r\n");

    // A file-size limit lets the short score through and stops the long name.
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const SaveResult r = store.SaveRecordIfBetter(QStringLiteral("6"), QString(200, QLatin1Char('n')), QStringLiteral("5"));
        ::_exit(r.outcome == SaveOutcome::Failed && r.error.contains(QStringLiteral("nsuc000.txt")) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(contentOf(store.scorePath()), QByteArray("5\r\n"));
    QCOMPARE(contentOf(store.namePath()), QByteArray("Old\r\n"));
}

void TestRecordStore::readerWaitsBrieflyForAWriterThenGoesOn()
{
    RecordStore store(m_dir);
    store.EnsureRecordFiles();
    put(store.scorePath(), "4\r\n");
    const int held = ::open(QFile::encodeName(store.scorePath()).constData(), O_RDWR);
    QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);
    QElapsedTimer timer;
    timer.start();
    const StoredRecord record = store.LoadRecord();
    const qint64 waited = timer.elapsed();
    ::close(held);
    QVERIFY2(waited >= 500 && waited < 5000, qPrintable(QString::number(waited)));
    QCOMPARE(record.score, QStringLiteral("4\r\n"));
}

void TestRecordStore::saveGivesUpWhileAnotherCopyHoldsTheLock()
{
    RecordStore store(m_dir);
    store.EnsureRecordFiles();
    const int held = ::open(QFile::encodeName(store.scorePath()).constData(), O_RDWR);
    QVERIFY(held >= 0 && ::flock(held, LOCK_SH) == 0);
    const SaveResult result = store.SaveRecordIfBetter(QStringLiteral("3"), QStringLiteral("Anna"), QString());
    ::close(held);
    QCOMPARE(result.outcome, SaveOutcome::Failed);
    QCOMPARE(contentOf(store.scorePath()), QByteArray());
}

void TestRecordStore::racingWritersNeverMixAScoreWithAnotherName()
{
    RecordStore store(m_dir);
    store.EnsureRecordFiles();
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = ::fork();
        if (writers[w] == 0) {
            const QString name = w == 0 ? QStringLiteral("Anna") : QStringLiteral("Bruno lungo lungo");
            for (int score = 2 - w; score <= 300; score += 2)
                store.SaveRecordIfBetter(QString::number(score), name, QString());
            ::_exit(0);
        }
    }
    // Read for as long as they write, pausing as a player's start would: a reader
    // that never lets go starves the writers, and a fixed count may end before them.
    int checked = 0;
    int writing = 2;
    while (writing > 0) {
        const StoredRecord r = store.LoadRecord();
        QVERIFY(r.errors.isEmpty());
        if (!r.score.isEmpty()) {
            const int score = r.score.trimmed().toInt();
            QVERIFY2(r.score.endsWith(QStringLiteral("\r\n")) && score > 0, qPrintable(r.score));
            QCOMPARE(r.name, score % 2 == 0 ? QStringLiteral("Anna\r\n") : QStringLiteral("Bruno lungo lungo\r\n"));
            ++checked;
        }
        QTest::qSleep(1);
        for (pid_t &p : writers) {
            if (p > 0 && ::waitpid(p, nullptr, WNOHANG) == p) {
                p = 0;
                --writing;
            }
        }
    }
    QVERIFY(checked > 0);
    const StoredRecord last = store.LoadRecord();
    QCOMPARE(last.score, QStringLiteral("300\r\n"));
    QCOMPARE(last.name, QStringLiteral("Anna\r\n"));
}

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
