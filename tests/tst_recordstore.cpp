// The record files in a folder of the test's own.
#include "osfiles.h"
#include "platform/records/recordfiles.h"
#include "platform/records/recordstore.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <limits>
#include <string>
#include <thread>

namespace {
// As the messages name files: with the system's own separators.
QString shown(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

// Another copy of the game holding the record's lock, through the same calls.
RecordFiles::Handle holdLock(const RecordStore &store, bool exclusive)
{
    const RecordFiles::Handle folder = RecordFiles::openFolder(QFileInfo(store.scorePath()).path(), false);
    RecordFiles::Handle held = RecordFiles::openInFolder(folder, QStringLiteral("suc000.txt"), RecordFiles::Access::ReadWrite);
    return RecordFiles::lock(held, exclusive, 0) ? std::move(held) : RecordFiles::Handle();
}

// A journal entry as its format is written down: a line naming it, the two lengths,
// both contents, then the SHA-256 of all that.
QByteArray journalEntry(const QByteArray &score, const QByteArray &name)
{
    const QByteArray body = "contadopo journal 1\n" + QByteArray::number(score.size()) + ' '
        + QByteArray::number(name.size()) + '\n' + score + name;
    return body + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() + '\n';
}

// The pairs the kill and race tests save: the name tells which score it belongs to.
// Lengths change from one score to the next, so a stale tail would show.
QString nameFor(int score)
{
    return QStringLiteral("Bambina %1 ").arg(score) + QString(score % 23, QChar(0x00E8));
}

// The score of a whole pair as read (line breaks included), 0 for the empty record,
// -1 for a score with another name or anything else.
int scoreOf(const QString &scoreText, const QString &nameText)
{
    if (scoreText.isEmpty() && nameText.isEmpty())
        return 0;
    bool ok = false;
    const int score = scoreText.chopped(scoreText.endsWith(QStringLiteral("\r\n")) ? 2 : 0).toInt(&ok);
    const bool whole = ok && score > 0 && scoreText == QString::number(score) + QStringLiteral("\r\n")
        && nameText == nameFor(score) + QStringLiteral("\r\n");
    return whole ? score : -1;
}

// Saves FROM+1, FROM+2, ... until killed.
int saveUntilKilled(RecordStore &store, int from)
{
    std::fputs("saving\n", stdout);
    std::fflush(stdout);
    for (int score = from + 1;; ++score) {
        const SaveResult r = store.SaveRecordIfBetter(QString::number(score), nameFor(score),
                                                      QString::number(score - 1));
        if (r.outcome != SaveOutcome::Saved) {
            std::fprintf(stderr, "save of %d: %s\n", score, qPrintable(r.error));
            return 1;
        }
    }
}

// A copy among COPIES: says it is ready, reads a start time (QDeadlineTimer's clock, ms)
// on stdin, waits for it, then ROUNDS times loads and saves INDEX+1+round*COPIES. Fails
// on a pair shown torn, lower than its own last save or busy, or a save that failed;
// prints how many it saved, the best, when it began and ended.
int raceAsCopy(RecordStore &store, int index, int copies, int rounds)
{
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    // One start time for every copy: written one after the other, a bare "go" let
    // a fast copy finish before the last one had even read it.
    std::string go;
    std::getline(std::cin, go);
    QDeadlineTimer start;
    start.setDeadline(std::stoll(go));
    while (!start.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(start.remainingTime() + 1));
    const qint64 began = QDeadlineTimer::current().deadline();
    int bad = 0, saved = 0, best = 0;
    for (int round = 0; round < rounds; ++round) {
        const StoredRecord shown = store.LoadRecord();
        // A torn pair reads as -1: below anything this copy has saved.
        if (!shown.errors.isEmpty() || scoreOf(shown.score, shown.name) < best) {
            ++bad;
            std::fprintf(stderr, "shown after saving %d: %s|%s|%s\n", best, qPrintable(shown.score),
                         qPrintable(shown.name), qPrintable(shown.errors.join(QLatin1Char(' '))));
        }
        // As a copy that was shown no record: every save goes as far as the lock.
        const int score = index + 1 + round * copies;
        const SaveResult r = store.SaveRecordIfBetter(QString::number(score), nameFor(score), QString());
        if (r.outcome == SaveOutcome::Saved) {
            ++saved;
            best = score;
        } else if (r.outcome == SaveOutcome::Failed) {
            ++bad;
            std::fprintf(stderr, "save of %d: %s\n", score, qPrintable(r.error));
        }
        // A breath between rounds, so that no copy runs all its rounds in one time slice.
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::printf("%d %d %lld %lld\n", saved, best, began, QDeadlineTimer::current().deadline());
    return bad == 0 ? 0 : 1;
}

} // namespace

class TestRecordStore : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void firstRunCreatesTwoEmptyFilesForEveryUser();
    void recordIsReadAsWrittenAndLeftAlone();

    void unsafeRecordFileCountsAsEmpty_data();
    void unsafeRecordFileCountsAsEmpty();
    void linksAreNeverFollowed();
    void playerWhoMayNotWriteStillSeesTheRecord();

    void saveOnlyWhenStrictlyBetter_data();
    void saveOnlyWhenStrictlyBetter();
    void nameTheNextStartCouldNotReadIsRefused();
    void saveThatCannotWriteItsJournalChangesNothing();
    void journalEntryIsFinishedOnlyWhenWhole_data();
    void journalEntryIsFinishedOnlyWhenWhole();

    void readerWaitsForTheLockThenSaysBusyAndShowsNothing();
    void saveGivesUpWhileAnotherCopyHoldsTheLock();
    void killedMidSaveTheNextCopySeesAWholePairNeverLower();
    void copiesSavingAtOnceShowOnlyWholePairs();

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_dir; // as the program holds it: ending with a separator
};

void TestRecordStore::init()
{
    OsFiles::useUsualCreationMode();
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_dir = m_tmp->path() + QStringLiteral("/records/");
}

void TestRecordStore::firstRunCreatesTwoEmptyFilesForEveryUser()
{
    RecordStore store(m_dir);
    QCOMPARE(store.LoadRecord().errors.size(), 2); // reading makes nothing
    QVERIFY(!QFileInfo::exists(m_dir));
    QCOMPARE(store.scorePath(), m_dir + QStringLiteral("/suc000.txt"));
    QVERIFY(store.EnsureRecordFiles().isEmpty());
    QVERIFY(!OsFiles::everyUserMayWrite(m_tmp->path() + QStringLiteral("/records")));
    for (const QString &path : {store.scorePath(), store.namePath(), store.journalPath()}) {
        QCOMPARE(contentOf(path), QByteArray());
        QVERIFY2(OsFiles::everyUserMayWrite(path), qPrintable(path));
    }
    const StoredRecord record = store.LoadRecord();
    QCOMPARE(record.errors.join(QString()) + record.score + record.name, QString());
}

void TestRecordStore::recordIsReadAsWrittenAndLeftAlone()
{
    RecordStore store(m_dir);
    store.EnsureRecordFiles();
    QCOMPARE(RecordStore::WriteRecordFile(store.namePath(), QStringLiteral("Maria Luisa Niccolò")), QString());
    QCOMPARE(RecordStore::WriteRecordFile(store.scorePath(), QStringLiteral("23")), QString());
    QCOMPARE(contentOf(store.namePath()), QStringLiteral("Maria Luisa Niccolò\r\n").toUtf8());
    QCOMPARE(store.LoadRecord().score, QStringLiteral("23\r\n"));
    // A shorter record replaces a longer one whole.
    QCOMPARE(RecordStore::WriteRecordFile(store.namePath(), QStringLiteral("Al")), QString());
    QCOMPARE(contentOf(store.namePath()), QByteArray("Al\r\n"));
    // Files made by another program, in its own code page, with modes of their own.
    put(store.namePath(), "Niccol\xf2 \x80\r\n");
    QVERIFY(OsFiles::restrictWriting(store.scorePath()));
    QVERIFY(store.EnsureRecordFiles().isEmpty());
    QCOMPARE(store.LoadRecord().name, QStringLiteral("Niccolò €\r\n"));
    QVERIFY(!OsFiles::everyUserMayWrite(store.scorePath()));
    QCOMPARE(contentOf(store.scorePath()), QByteArray("23\r\n"));
}

void TestRecordStore::unsafeRecordFileCountsAsEmpty_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("symbolic link") << "link" << "è un collegamento simbolico.";
    if (QTemporaryDir probe; OsFiles::makeFifo(probe.filePath(QStringLiteral("fifo"))))
        QTest::newRow("fifo") << "fifo" << "non è un file normale.";
    QTest::newRow("10 MB") << "large" << "è più grande di 64 KiB.";
    QTest::newRow("folder") << "folder" << "non è un file normale.";
}

void TestRecordStore::unsafeRecordFileCountsAsEmpty()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    RecordStore store = storeHolding(m_dir, {}, "Anna\r\n");
    const QString score = store.scorePath();
    QVERIFY(QFile::remove(score));
    if (kind == QLatin1String("link")) {
        put(m_tmp->path() + QStringLiteral("/secret"), "99\r\n");
        QVERIFY(OsFiles::makeLink(m_tmp->path() + QStringLiteral("/secret"), score));
    } else if (kind == QLatin1String("fifo")) {
        QVERIFY(OsFiles::makeFifo(score));
    } else if (kind == QLatin1String("large")) {
        put(score, QByteArray(10 * 1024 * 1024, '7'));
    } else {
        QVERIFY(QDir().mkdir(score));
    }

    QElapsedTimer timer;
    timer.start();
    const StoredRecord record = store.LoadRecord();
    QVERIFY2(timer.elapsed() < 500, "must not block on a strange file");
    QCOMPARE(record.score, QString());
    QCOMPARE(record.name, QString());
    QCOMPARE(record.errors, QStringList{QStringLiteral("Non riesco a leggere il file del record %1: %2")
                                            .arg(shown(store.scorePath()), reason)});
    // Making the files again is no worse: the strange one stays as it is.
    store.EnsureRecordFiles();
    QCOMPARE(store.LoadRecord().score, QString());
}

void TestRecordStore::linksAreNeverFollowed()
{
    RecordStore store(m_dir);
    store.EnsureRecordFiles();
    const QString target = m_tmp->path() + QStringLiteral("/victim");
    put(target, "keep me");
    QVERIFY(QFile::remove(store.namePath()));
    QVERIFY(OsFiles::makeLink(target, store.namePath()));
    QVERIFY(!RecordStore::WriteRecordFile(store.namePath(), QStringLiteral("Eve")).isEmpty());
    const SaveResult result = store.SaveRecordIfBetter(QStringLiteral("5"), QStringLiteral("Eve"), QString());
    QCOMPARE(result.outcome, SaveOutcome::Failed);
    QVERIFY(result.error.contains(QStringLiteral("nsuc000.txt")));
    QCOMPARE(contentOf(target), QByteArray("keep me"));
    QCOMPARE(contentOf(store.scorePath()), QByteArray());

    // A linked folder: nothing is made where it points.
    const QString real = m_tmp->path() + QStringLiteral("/elsewhere");
    QVERIFY(QDir().mkpath(real));
    const QString linked = m_tmp->path() + QStringLiteral("/linked");
    QVERIFY(OsFiles::makeLink(real, linked));
    const QStringList errors = RecordStore(linked + QLatin1Char('/')).EnsureRecordFiles();
    QCOMPARE(errors.size(), 3);
    QVERIFY2(errors.first().endsWith(QStringLiteral("la cartella %1 è un collegamento simbolico.").arg(shown(linked))),
             qPrintable(errors.first()));
    QVERIFY(!QFile::exists(real + QStringLiteral("/suc000.txt")));
}

void TestRecordStore::playerWhoMayNotWriteStillSeesTheRecord()
{
    RecordStore store = storeHolding(m_dir, "7\r\n", "Anna\r\n");
    for (const QString &path : {store.scorePath(), store.namePath(), store.journalPath(), m_tmp->path()})
        QVERIFY(OsFiles::readOnlyForPlayers(path));
    // The tests run as the administrator, who may write anything: the player is someone else.
    QByteArray said;
    QVERIFY2(OsFiles::runAsPlayer(
                 [&store] {
                     QStringList seen = store.EnsureRecordFiles();
                     const StoredRecord record = store.LoadRecord();
                     seen << record.errors << record.score << record.name;
                     const SaveResult result = store.SaveRecordIfBetter(QStringLiteral("9"), QStringLiteral("Eva"), record.score);
                     seen << QString::number(int(result.outcome)) << result.error;
                     return seen.join(QLatin1Char('|')).toUtf8();
                 },
                 &said),
             "the player's copy could not run");
    const QString expected = QStringLiteral("7\r\n|Anna\r\n|%1|Non riesco a scrivere il file del record %2: ")
                                 .arg(int(SaveOutcome::Failed)).arg(shown(store.scorePath()));
    QVERIFY2(said.startsWith(expected.toUtf8()), said.constData());
    QCOMPARE(contentOf(store.scorePath()), QByteArray("7\r\n"));
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
    RecordStore store = storeHolding(m_dir, stored, stored.isEmpty() ? QByteArray() : QByteArray("Old\r\n"));

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

void TestRecordStore::nameTheNextStartCouldNotReadIsRefused()
{
    RecordStore store = storeHolding(m_dir, "5\r\n", "Old\r\n");
    // Over 64 KiB in UTF-8: saved, it would be reported as too large at every start.
    const SaveResult refused = store.SaveRecordIfBetter(QStringLiteral("6"), QString(22000, QChar(0x20AC)), QString());
    QCOMPARE(refused.outcome, SaveOutcome::Failed);
    QCOMPARE(refused.error, QStringLiteral("Il nome è troppo lungo per il file del record %1.").arg(shown(store.namePath())));
    QCOMPARE(store.SaveRecordIfBetter(QStringLiteral("6"), QString(65535, QLatin1Char('n')), QString()).outcome,
             SaveOutcome::Failed);
    QCOMPARE(contentOf(store.scorePath()) + contentOf(store.namePath()), QByteArray("5\r\nOld\r\n"));

    // One byte less, line break included, is the longest the next start reads back.
    const QString longest(65534, QLatin1Char('n'));
    QCOMPARE(store.SaveRecordIfBetter(QStringLiteral("6"), longest, QString()).outcome, SaveOutcome::Saved);
    const StoredRecord record = store.LoadRecord();
    QVERIFY(record.errors.isEmpty());
    QCOMPARE(record.name, longest + QStringLiteral("\r\n"));
}

void TestRecordStore::saveThatCannotWriteItsJournalChangesNothing()
{
    RecordStore store = storeHolding(m_dir, "5\r\n", "Old\r\n");

    // A file-size limit stops the journal half-way, as a full disk would.
    QVERIFY(OsFiles::runWithFileSizeLimit(64, [&store] {
        const SaveResult r = store.SaveRecordIfBetter(QStringLiteral("6"), QString(200, QLatin1Char('n')), QStringLiteral("5"));
        return r.outcome == SaveOutcome::Failed && r.error.contains(QStringLiteral("suc000.jnl"));
    }));
    QCOMPARE(contentOf(store.scorePath()) + contentOf(store.namePath()), QByteArray("5\r\nOld\r\n"));
    QCOMPARE(store.LoadRecord().name, QStringLiteral("Old\r\n"));
}

void TestRecordStore::journalEntryIsFinishedOnlyWhenWhole_data()
{
    // The files hold 7 and Old, as a save of 9 left them when cut short.
    const QByteArray whole = journalEntry("9\r\n", "Nuova\r\n");
    QByteArray changed = whole;
    changed[whole.indexOf("Nuova")] = 'M';
    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<bool>("finished");
    QTest::newRow("whole") << whole << true;
    QTest::newRow("cut short") << whole.chopped(1) << false;
    QTest::newRow("half flushed") << whole.left(whole.size() / 2) + QByteArray(whole.size() - whole.size() / 2, '\0') << false;
    QTest::newRow("one byte changed") << changed << false;
    QTest::newRow("lower than the stored score") << journalEntry("6\r\n", "Bassa\r\n") << false;
}

void TestRecordStore::journalEntryIsFinishedOnlyWhenWhole()
{
    QFETCH(QByteArray, journal);
    QFETCH(bool, finished);
    RecordStore store = storeHolding(m_dir, "7\r\n", "Old\r\n");
    put(store.journalPath(), journal);

    const StoredRecord record = store.LoadRecord();
    const QByteArray pair = finished ? "9\r\nNuova\r\n" : "7\r\nOld\r\n";
    QCOMPARE((record.errors.join(QString()) + record.score + record.name).toUtf8(), pair);
    // The reader finished the save for every other copy and peer too.
    QCOMPARE(contentOf(store.scorePath()) + contentOf(store.namePath()), pair);
    if (finished)
        QCOMPARE(contentOf(store.journalPath()), QByteArray());

    QCOMPARE(store.SaveRecordIfBetter(QStringLiteral("8"), QStringLiteral("Otto"), QString()).outcome,
             finished ? SaveOutcome::BeatenMeanwhile : SaveOutcome::Saved);
    QCOMPARE(contentOf(store.journalPath()), QByteArray());
    QCOMPARE(store.LoadRecord().name, finished ? QStringLiteral("Nuova\r\n") : QStringLiteral("Otto\r\n"));
}

void TestRecordStore::readerWaitsForTheLockThenSaysBusyAndShowsNothing()
{
    RecordStore store = storeHolding(m_dir, "4\r\n", "Anna\r\n", LockPatience{400, 400});
    RecordFiles::Handle held = holdLock(store, true);
    QVERIFY(held.valid());
    QElapsedTimer timer;
    timer.start();
    const StoredRecord busy = store.LoadRecord();
    QVERIFY2(timer.elapsed() >= 350 && timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(busy.errors, QStringList{QStringLiteral("Il record è occupato in questo momento da un'altra copia del gioco: per ora non lo posso mostrare.")});
    QCOMPARE(busy.score + busy.name, QString());

    // A holder that lets go in time: the reader gets the record as soon as it does.
    std::thread letGo([&held] {
        QThread::msleep(150);
        held = RecordFiles::Handle();
    });
    timer.start();
    const StoredRecord record = store.LoadRecord();
    const qint64 waited = timer.elapsed();
    letGo.join();
    QCOMPARE(record.errors.join(QString()) + record.score + record.name, QStringLiteral("4\r\nAnna\r\n"));
    QVERIFY2(waited >= 100 && waited < 350, qPrintable(QString::number(waited)));
}

void TestRecordStore::saveGivesUpWhileAnotherCopyHoldsTheLock()
{
    RecordStore store = storeHolding(m_dir, {}, {}, LockPatience{200, 200});
    RecordFiles::Handle held = holdLock(store, false);
    QVERIFY(held.valid());
    const SaveResult result = store.SaveRecordIfBetter(QStringLiteral("3"), QStringLiteral("Anna"), QString());
    held = RecordFiles::Handle();
    QCOMPARE(result.outcome, SaveOutcome::Failed);
    QVERIFY2(result.error.endsWith(QStringLiteral("è occupato da un'altra copia del gioco.")), qPrintable(result.error));
    QCOMPARE(contentOf(store.scorePath()), QByteArray());
    // The copy that gave up let go of everything: the next save goes through.
    QCOMPARE(store.SaveRecordIfBetter(QStringLiteral("3"), QStringLiteral("Anna"), QString()).outcome, SaveOutcome::Saved);
}

void TestRecordStore::killedMidSaveTheNextCopySeesAWholePairNeverLower()
{
    constexpr int kKills = 300;
    RecordStore store(m_dir);
    QVERIFY(store.EnsureRecordFiles().isEmpty());
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    int torn = 0, lower = 0, cutShort = 0, best = 0, stored = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        QProcess saver;
        saver.start(QCoreApplication::applicationFilePath(), {QStringLiteral("kill"), m_dir, QString::number(stored)});
        QVERIFY2(saver.waitForReadyRead(10000), qPrintable(saver.errorString()));
        QThread::usleep(random.bounded(8000));
        saver.kill();
        QVERIFY(saver.waitForFinished(10000));
        QVERIFY2(saver.exitStatus() == QProcess::CrashExit, saver.readAllStandardError().constData());
        if (!contentOf(store.journalPath()).isEmpty())
            ++cutShort;
        const StoredRecord shown = store.LoadRecord();
        const int score = scoreOf(shown.score, shown.name);
        stored = std::max(stored, shown.score.trimmed().toInt());
        // Once a copy has loaded the record, a peer reading the files sees the same pair.
        const int onDisk = scoreOf(RecordFiles::decode(contentOf(store.scorePath())),
                                               RecordFiles::decode(contentOf(store.namePath())));
        if (!shown.errors.isEmpty() || score < 0 || onDisk != score)
            ++torn;
        else if (score < best)
            ++lower;
        else
            best = score;
    }
    qInfo("%d kills at random moments (seed %u): %d torn pairs, %d scores gone down; "
          "%d saves cut short and finished by the next copy; record reached %d",
          kKills, seed, torn, lower, cutShort, best);
    QCOMPARE(torn, 0);
    QCOMPARE(lower, 0);
    // Kills that all fell between saves would prove nothing.
    QVERIFY(cutShort > 0);
}

void TestRecordStore::copiesSavingAtOnceShowOnlyWholePairs()
{
    constexpr int kCopies = 8;
    constexpr int kRounds = 128;
    RecordStore store(m_dir);
    QVERIFY(store.EnsureRecordFiles().isEmpty());
    std::vector<std::unique_ptr<QProcess>> copies;
    for (int i = 0; i < kCopies; ++i) {
        auto &copy = copies.emplace_back(std::make_unique<QProcess>());
        copy->start(QCoreApplication::applicationFilePath(), {QStringLiteral("race"), m_dir, QString::number(i),
                                                   QString::number(kCopies), QString::number(kRounds)});
    }
    // All of them loaded and waiting, so that they really run at the same time.
    for (auto &copy : copies) {
        QVERIFY2(copy->waitForReadyRead(10000), qPrintable(copy->errorString()));
        QCOMPARE(copy->readLine().trimmed(), QByteArray("ready"));
    }
    const QByteArray startAt = QByteArray::number(QDeadlineTimer(300).deadline()) + '\n';
    for (auto &copy : copies) {
        copy->write(startAt);
        copy->waitForBytesWritten(1000);
    }
    qint64 saved = 0, best = 0, began = 0, ended = std::numeric_limits<qint64>::max();
    for (auto &copy : copies) {
        QVERIFY(copy->waitForFinished(60000));
        QVERIFY2(copy->exitStatus() == QProcess::NormalExit && copy->exitCode() == 0,
                 copy->readAllStandardError().constData());
        qint64 f[4];
        const QByteArray figures = copy->readAllStandardOutput();
        QVERIFY2(std::sscanf(figures.constData(), "%lld %lld %lld %lld", f, f + 1, f + 2, f + 3) == 4, figures.constData());
        saved += f[0];
        best = std::max(best, f[1]);
        began = std::max(began, f[2]);
        ended = std::min(ended, f[3]);
    }
    const StoredRecord last = store.LoadRecord();
    qInfo("%d copies, all of them saving at once for %lld ms: %d saves (%lld saved) and as many loads; no pair "
          "shown torn, lower than the copy's own save or busy, no save failed; stored at the end: %s",
          kCopies, ended - began, kCopies * kRounds, saved,
          qPrintable(last.score.trimmed() + QLatin1Char('/') + last.name.trimmed()));
    // The last copy to begin did so before the first one was done: all of them ran at once.
    QVERIFY2(began < ended, "the copies did not run at the same time");
    QVERIFY(last.errors.isEmpty());
    QCOMPARE(scoreOf(last.score, last.name), int(best));
}

// The kill and race tests start copies of this program that do nothing but save.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("kill")) {
        RecordStore store(args.at(2));
        return saveUntilKilled(store, args.at(3).toInt());
    }
    if (args.size() == 6 && args.at(1) == QLatin1String("race")) {
        RecordStore store(args.at(2));
        return raceAsCopy(store, args.at(3).toInt(), args.at(4).toInt(), args.at(5).toInt());
    }
    TestRecordStore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordstore.moc"
