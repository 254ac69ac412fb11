// The record files in a folder of the test's own.
#include "osfiles.h"
#include "platform/records/recordfiles.h"
#include "platform/records/recordstore.h"
#include "testfiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

namespace {
using RecordFiles::nativePath;

// Another copy of the game holding the record's lock, through the same calls.
RecordFiles::Handle holdLock(const RecordStore &store, bool exclusive)
{
    const RecordFiles::Handle folder = RecordFiles::openFolder(QFileInfo(store.scorePath()).path(), false);
    RecordFiles::Handle held = RecordFiles::openInFolder(folder, QStringLiteral("suc000.txt"), RecordFiles::Access::ReadWrite);
    return RecordFiles::lock(held, exclusive, 0) ? std::move(held) : RecordFiles::Handle();
}

// The pairs the power-cut and race tests save: the name tells which score it belongs
// to. Lengths change from one score to the next, across 512-byte sectors, so a stale
// tail or sector would show.
QString nameFor(int score)
{
    return QStringLiteral("Bambina %1 ").arg(score) + QString(score % 3 * 150, QChar(0x00E8));
}

QByteArray pairOf(int score)
{
    return score == 0 ? QByteArray() : QByteArray::number(score) + "\r\n" + nameFor(score).toUtf8() + "\r\n";
}

// The score of a whole pair as read, 0 for the empty record, -1 for anything else.
int scoreOf(const StoredRecord &shown)
{
    const int score = shown.score.trimmed().toInt();
    return (shown.score + shown.name).toUtf8() == pairOf(score) ? score : -1;
}

// A file or folder under a traced root: what the disk surely holds of it, and what the
// calls since left of it.
struct Node {
    bool folder = false;
    bool named = true;           // its name in its folder is on the disk
    bool shared = true, liveShared = true; // every user may write it
    QByteArray synced, live;
    std::vector<OsFiles::FileCall> unsynced;
};
using Tree = std::map<QString, Node>;
// In a state after a power cut, a path holds one of these, or a file's content (after
// kOwnerOnly when only its maker may write it).
const QByteArray kGone = QByteArrayLiteral("\x01gone");
const QByteArray kFolder = QByteArrayLiteral("\x01folder");
const QByteArray kOwnerOnly = QByteArrayLiteral("\x01owner only:");

void apply(Tree &tree, const OsFiles::FileCall &call)
{
    using C = OsFiles::FileCall;
    if (call.kind == C::SyncFolder) {
        for (auto &[path, child] : tree)
            child.named |= QFileInfo(path).path() == call.path;
        return;
    }
    Node &node = tree[call.path];
    switch (call.kind) {
    case C::MakeFolder:
    case C::MakeFile:
        node = Node{call.kind == C::MakeFolder, false, false, false, {}, {}, {}};
        return;
    case C::Link:
        node = tree[QString::fromUtf8(call.data)];
        node.named = false;
        tree.erase(QString::fromUtf8(call.data));
        return;
    case C::SyncFolder:
    case C::Sync:
        node.shared = node.liveShared;
        node.synced = node.live;
        node.unsynced.clear();
        return;
    case C::Chmod:
        node.liveShared = (call.at & 0666) == 0666;
        break;
    case C::Write:
        node.live.resize(std::max(node.live.size(), call.at + call.data.size()), '\0');
        node.live.replace(call.at, call.data.size(), call.data);
        break;
    case C::Truncate:
        node.live.resize(call.at, '\0');
        break;
    }
    node.unsynced.push_back(call);
}

// Every content a power cut may leave of a file: what was synced, with any subset of the
// calls since (writes cut into 512-byte sectors, truncations that zero what they cut, a
// mode), at any length the file had since. Empty past 12 such pieces: not tried.
QList<QByteArray> leftAfterCut(const Node &node)
{
    std::vector<OsFiles::FileCall> pieces;
    QList<qint64> lengths{node.synced.size()};
    for (const OsFiles::FileCall &call : node.unsynced) {
        const qint64 end = call.at + call.data.size();
        for (qint64 at = call.at, next; at < end; at = next) {
            next = std::min(end, (at / 512 + 1) * 512);
            pieces.push_back({call.kind, {}, at, call.data.mid(at - call.at, next - at)});
        }
        if (call.kind != OsFiles::FileCall::Write)
            pieces.push_back(call);
        if (call.kind != OsFiles::FileCall::Chmod)
            lengths << (call.kind == OsFiles::FileCall::Truncate ? call.at : std::max(lengths.last(), end));
    }
    QList<QByteArray> left;
    for (quint32 chosen = 0; pieces.size() <= 12 && chosen < (1u << pieces.size()); ++chosen) {
        QByteArray bytes = node.synced;
        bool shared = node.shared;
        for (size_t i = 0; i < pieces.size(); ++i) {
            const OsFiles::FileCall &piece = pieces[i];
            if (!(chosen >> i & 1))
                continue;
            shared = piece.kind == OsFiles::FileCall::Chmod ? (piece.at & 0666) == 0666 : shared;
            if (piece.kind == OsFiles::FileCall::Truncate && piece.at < bytes.size())
                std::fill(bytes.begin() + piece.at, bytes.end(), '\0');
            if (piece.kind == OsFiles::FileCall::Write) {
                bytes.resize(std::max(bytes.size(), piece.at + piece.data.size()), '\0');
                bytes.replace(piece.at, piece.data.size(), piece.data);
            }
        }
        for (const qint64 length : lengths) {
            QByteArray cut = bytes;
            cut.resize(length, '\0');
            if (!left.contains((shared ? QByteArray() : kOwnerOnly) + cut))
                left << (shared ? QByteArray() : kOwnerOnly) + cut;
        }
    }
    return left;
}

// The next start on a state laid in `dir`: what is wrong with what it shows and leaves,
// or nothing.
QString brokenAfterNextStart(const QString &dir, const QList<QByteArray> &allowed)
{
    RecordStore store(dir);
    QStringList problems = store.EnsureRecordFiles();
    for (const QString &path : {store.scorePath(), store.namePath(), store.journalPath()}) {
        if (!OsFiles::everyUserMayWrite(path))
            problems << path + QStringLiteral(" is its maker's only");
    }
    const StoredRecord shown = store.LoadRecord();
    const QByteArray pair = (shown.score + shown.name).toUtf8();
    const StoredRecord again = RecordStore(dir).LoadRecord();
    if (!(problems + shown.errors).isEmpty() || !allowed.contains(pair))
        return QStringLiteral("shown: %1 %2").arg(QString::fromUtf8(pair), (problems + shown.errors).join(QLatin1Char(' ')));
    if ((again.score + again.name).toUtf8() != pair || contentOf(store.scorePath()) + contentOf(store.namePath()) != pair)
        return QStringLiteral("not kept after loading it: ") + QString::fromUtf8(pair);
    const SaveResult next = store.SaveRecordIfBetter(QStringLiteral("1000"), QStringLiteral("Dopo"), shown.score);
    const StoredRecord last = store.LoadRecord();
    if (next.outcome != SaveOutcome::Saved || last.score + last.name != QStringLiteral("1000\r\nDopo\r\n")
        || contentOf(store.journalPath()) != QByteArray())
        return QStringLiteral("the next save failed: ") + next.error;
    return {};
}

// The calls of one step of a trace, and the pairs a power cut may leave while it runs
// and once it is done.
struct Step {
    std::vector<OsFiles::FileCall> calls;
    QList<QByteArray> during, after;
};

struct Tally {
    int built = 0, broken = 0, calls = 0;
    bool bounded = true;
};

// Builds every state a power cut may leave during and after the steps, from `tree` on:
// any prefix of the calls, each file as above, anything whose name is not yet synced in
// its folder maybe gone with all it holds. Lays each in `cutRoot` as it stood under
// `traceRoot`, and starts the next copy on it.
void recoverEveryCut(Tree tree, const std::vector<Step> &steps, const QString &traceRoot,
                     const QString &cutRoot, Tally &tally)
{
    QSet<QByteArray> tried;
    for (const Step &step : steps) {
        tally.calls += int(step.calls.size());
        for (size_t done = 0; done <= step.calls.size(); ++done) {
            if (done > 0)
                apply(tree, step.calls[done - 1]);
            const QList<QByteArray> &allowed = done == step.calls.size() ? step.after : step.during;
            std::vector<std::pair<QString, QList<QByteArray>>> choices;
            qint64 count = 1;
            for (const auto &[path, node] : tree) {
                QList<QByteArray> held = node.folder ? QList<QByteArray>{kFolder} : leftAfterCut(node);
                // A file not yet linked into its folder (the kernel names it so) has no name.
                if (!node.named || path.endsWith(QLatin1String(" (deleted)")))
                    held = path.endsWith(QLatin1String(" (deleted)")) ? QList<QByteArray>{kGone} : held << kGone;
                choices.emplace_back(path, held);
                count *= held.size();
            }
            tally.bounded &= count > 0 && count <= 20000;
            for (qint64 n = 0; tally.bounded && n < count; ++n) {
                std::map<QString, QByteArray> image;
                QByteArray key = allowed.join('|');
                qint64 rest = n;
                for (const auto &[path, held] : choices) {
                    const auto folder = image.find(QFileInfo(path).path());
                    image[path] = folder != image.end() && folder->second == kGone ? kGone : held.at(rest % held.size());
                    rest /= held.size();
                    key += '\0' + path.toUtf8() + '\0' + QByteArray::number(image[path].size()) + image[path];
                }
                if (tried.contains(key))
                    continue;
                tried.insert(key);
                ++tally.built;
                QDir(cutRoot).removeRecursively();
                QDir().mkpath(cutRoot);
                for (const auto &[path, held] : image) {
                    const QString at = cutRoot + path.mid(traceRoot.size());
                    if (held == kFolder)
                        QDir().mkpath(at);
                    else if (held != kGone)
                        put(at, held.startsWith(kOwnerOnly) ? held.mid(kOwnerOnly.size()) : held);
                    if (held != kGone && held != kFolder && !held.startsWith(kOwnerOnly))
                        QFile::setPermissions(at, QFileDevice::Permissions(0x6666));
                }
                const QString broken = brokenAfterNextStart(cutRoot + QStringLiteral("/records/"), allowed);
                if (!broken.isEmpty() && ++tally.broken <= 3)
                    qWarning("after %d calls of a step: %s", int(done), qPrintable(broken.left(200)));
            }
        }
    }
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
    void linkedFolderIsNeverFollowed();
    void playerWhoMayNotWriteStillSeesTheRecord();

    void saveOnlyWhenStrictlyBetter();
    void nameTheNextStartCouldNotReadIsRefused();
    void journalEntryIsFinishedOnlyWhenWhole();
    void powerCutLeavesTheOldPairOrTheNew_data();
    void powerCutLeavesTheOldPairOrTheNew();

    void anotherCopyHoldingTheLockMakesSavesGiveUpAndReadersWait();
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
    QVERIFY(store.EnsureRecordFiles().isEmpty());
    QVERIFY(!OsFiles::everyUserMayWrite(m_tmp->path() + QStringLiteral("/records")));
    for (const QString &path : {store.scorePath(), store.namePath(), store.journalPath()}) {
        QCOMPARE(contentOf(path), QByteArray());
        QVERIFY2(OsFiles::everyUserMayWrite(path), qPrintable(path));
    }
}

void TestRecordStore::recordIsReadAsWrittenAndLeftAlone()
{
    // Files made by another program, in its own code page, with modes of their own.
    RecordStore store = storeHolding(m_dir, "23\r\n", "Niccol\xf2 \x80\r\n");
    QVERIFY(OsFiles::restrictWriting(store.scorePath()));
    QVERIFY(store.EnsureRecordFiles().isEmpty());
    const StoredRecord record = store.LoadRecord();
    QCOMPARE(record.errors.join(QString()) + record.score + record.name, QStringLiteral("23\r\nNiccolò €\r\n"));
    QVERIFY(!OsFiles::everyUserMayWrite(store.scorePath()));
    QCOMPARE(contentOf(store.scorePath()) + contentOf(store.namePath()), QByteArray("23\r\nNiccol\xf2 \x80\r\n"));
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
    const QString secret = m_tmp->path() + QStringLiteral("/secret");
    put(secret, "keep me");
    if (kind == QLatin1String("link")) {
        QVERIFY(OsFiles::makeLink(secret, score));
    } else if (kind == QLatin1String("fifo")) {
        QVERIFY(OsFiles::makeFifo(score));
    } else if (kind == QLatin1String("large")) {
        put(score, QByteArray(10 * 1024 * 1024, '7'));
    } else {
        QVERIFY(QDir().mkdir(score));
    }

    // A FIFO that blocked the reader would stop the test here.
    const StoredRecord record = store.LoadRecord();
    QCOMPARE(record.score + record.name, QString());
    QCOMPARE(record.errors, QStringList{QStringLiteral("Non riesco a leggere il file del record %1: %2")
                                            .arg(nativePath(store.scorePath()), reason)});
    // Making the files again is no worse: the strange one stays as it is. A save never
    // writes what a link points at.
    store.EnsureRecordFiles();
    QCOMPARE(store.LoadRecord().score, QString());
    store.SaveRecordIfBetter(QStringLiteral("5"), QStringLiteral("Eve"), QString());
    QCOMPARE(contentOf(secret), QByteArray("keep me"));
}

void TestRecordStore::linkedFolderIsNeverFollowed()
{
    const QString real = m_tmp->path() + QStringLiteral("/elsewhere");
    QVERIFY(QDir().mkpath(real));
    const QString linked = m_tmp->path() + QStringLiteral("/linked");
    QVERIFY(OsFiles::makeLink(real, linked));
    const QStringList errors = RecordStore(linked + QLatin1Char('/')).EnsureRecordFiles();
    QCOMPARE(errors.size(), 3);
    QVERIFY2(errors.first().endsWith(QStringLiteral("la cartella %1 è un collegamento simbolico.").arg(nativePath(linked))),
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
                                 .arg(int(SaveOutcome::Failed)).arg(nativePath(store.scorePath()));
    QVERIFY2(said.startsWith(expected.toUtf8()), said.constData());
    QCOMPARE(contentOf(store.scorePath()), QByteArray("7\r\n"));
}

void TestRecordStore::saveOnlyWhenStrictlyBetter()
{
    RecordStore store(m_dir);
    QVERIFY(store.EnsureRecordFiles().isEmpty());
    const auto save = [&store](const QString &score, const QString &shown) {
        return store.SaveRecordIfBetter(score, QStringLiteral("Nome ") + score, shown);
    };
    QCOMPARE(save(QStringLiteral("0"), {}).outcome, SaveOutcome::NotBetter);
    QCOMPARE(save(QStringLiteral("7"), {}).outcome, SaveOutcome::Saved);
    QCOMPARE(save(QStringLiteral("7"), QStringLiteral("7")).outcome, SaveOutcome::NotBetter);
    // Files edited down behind the game's back do not stop a better score.
    put(store.scorePath(), "3\r\n");
    QCOMPARE(save(QStringLiteral("8"), QStringLiteral("7")).outcome, SaveOutcome::Saved);
    // Both files hold it, and the journal nothing that a later start would write again
    // (over a record an administrator cleared, say).
    QCOMPARE(contentOf(store.scorePath()) + contentOf(store.namePath()) + contentOf(store.journalPath()),
             QByteArray("8\r\nNome 8\r\n"));
}

void TestRecordStore::nameTheNextStartCouldNotReadIsRefused()
{
    RecordStore store = storeHolding(m_dir, "5\r\n", "Old\r\n");
    // Over 64 KiB in UTF-8: saved, it would be reported as too large at every start.
    const SaveResult refused = store.SaveRecordIfBetter(QStringLiteral("6"), QString(22000, QChar(0x20AC)), QString());
    QCOMPARE(refused.outcome, SaveOutcome::Failed);
    QCOMPARE(refused.error, QStringLiteral("Il nome è troppo lungo per il file del record %1.").arg(nativePath(store.namePath())));
    QCOMPARE(store.SaveRecordIfBetter(QStringLiteral("6"), QString(65535, QLatin1Char('n')), QString()).outcome,
             SaveOutcome::Failed);
    QCOMPARE(contentOf(store.scorePath()) + contentOf(store.namePath()), QByteArray("5\r\nOld\r\n"));

    // One byte less, line break included, is the longest the next start reads back.
    const QString longest(65534, QLatin1Char('n'));
    QCOMPARE(store.SaveRecordIfBetter(QStringLiteral("6"), longest, QString()).outcome, SaveOutcome::Saved);
    const StoredRecord record = store.LoadRecord();
    QCOMPARE(record.errors.join(QString()) + record.name, longest + QStringLiteral("\r\n"));
}

void TestRecordStore::powerCutLeavesTheOldPairOrTheNew_data()
{
    QTest::addColumn<QString>("layout");
    QTest::newRow("files made at installation") << "installed";
    QTest::newRow("files made by the program") << "made";
    QTest::newRow("a failing disk") << "failing";
}

// Builds every state a power cut may leave at any instant of real saves, traced call by
// call, and checks what the next start makes of each.
void TestRecordStore::powerCutLeavesTheOldPairOrTheNew()
{
    QFETCH(QString, layout);
    // In memory where there is such a folder: hundreds of states, each with real syncs.
    const QString base = QFileInfo::exists(QStringLiteral("/dev/shm")) ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QTemporaryDir tmp(base + QStringLiteral("/contadopo-XXXXXX"));
    const QString root = QFileInfo(tmp.path()).canonicalFilePath();
    const QString traceRoot = root + QStringLiteral("/live"), dir = traceRoot + QStringLiteral("/records/");
    QVERIFY(QDir().mkpath(traceRoot));
    if (!OsFiles::startTrace(traceRoot))
        QSKIP("this system's file calls cannot be traced");
    OsFiles::takeTrace();

    // The files hold 5 when the trace begins, all of it on the disk.
    const auto installed = [&] {
        QDir(dir).removeRecursively();
        storeHolding(dir, "5\r\n", nameFor(5).toUtf8() + "\r\n");
        Tree tree{{QDir::cleanPath(dir), Node{true, true, true, true, {}, {}, {}}}};
        for (const QString &file : QDir(dir).entryList(QDir::Files))
            tree[dir + file] = Node{false, true, true, true, contentOf(dir + file), contentOf(dir + file), {}};
        return tree;
    };
    RecordStore store(dir);
    int failed = 0, mayComplete = 0;
    const auto save = [&](int score, int failFrom = -1, bool onward = false) {
        OsFiles::startTrace(traceRoot, failFrom, onward);
        const SaveResult r = store.SaveRecordIfBetter(QString::number(score), nameFor(score), QString::number(score - 1));
        const QList<QByteArray> both{pairOf(score - 1), pairOf(score)};
        failed += r.outcome == SaveOutcome::Failed;
        mayComplete += r.mayCompleteLater;
        return Step{OsFiles::takeTrace(), both,
                    r.outcome == SaveOutcome::Saved ? QList{pairOf(score)} : r.mayCompleteLater ? both : QList{pairOf(score - 1)}};
    };
    const auto start = [&](int score) {
        OsFiles::startTrace(traceRoot);
        store.EnsureRecordFiles();
        store.LoadRecord();
        return Step{OsFiles::takeTrace(), {pairOf(score)}, {pairOf(score)}};
    };

    Tally tally;
    const QString cutRoot = root + QStringLiteral("/cut");
    if (layout == QLatin1String("installed")) {
        const Tree tree = installed();
        recoverEveryCut(tree, {start(5), save(6), save(7), save(8)}, traceRoot, cutRoot, tally);
    } else if (layout == QLatin1String("made")) {
        recoverEveryCut({}, {start(0), save(1), save(2), save(3)}, traceRoot, cutRoot, tally);
    } else {
        // Each write, truncation and sync of a save fails in turn: alone, then with all after it.
        installed();
        const std::vector<OsFiles::FileCall> calls = save(6).calls;
        const auto changes = std::count_if(calls.begin(), calls.end(), [](const auto &c) { return c.kind >= OsFiles::FileCall::Write; });
        for (const bool onward : {false, true}) {
            for (int n = 0; n < changes; ++n) {
                const Tree tree = installed();
                recoverEveryCut(tree, {save(6, n, onward)}, traceRoot, cutRoot, tally);
            }
        }
        qInfo("%d saves failed on a failing disk: %d said the record stays as it was, %d that it may be completed "
              "at the next start", failed, failed - mayComplete, mayComplete);
        QVERIFY(mayComplete > 0 && failed > mayComplete);
    }
    qInfo("power cut at any instant, %s: %d crash states built from %d traced calls and recovered; %d broken",
          QTest::currentDataTag(), tally.built, tally.calls, tally.broken);
    QVERIFY2(tally.bounded, "more states than the test tries: trace smaller saves");
    QVERIFY(tally.calls > 0);
    QCOMPARE(tally.broken, 0);
}

void TestRecordStore::journalEntryIsFinishedOnlyWhenWhole()
{
    RecordStore store = storeHolding(m_dir, "7\r\n", "Old\r\n");
    // An entry no save makes (it refuses such a name), its sum right: no start could read
    // its name back, so it counts as none.
    const QByteArray body = "contadopo journal 1\n3 71680\n9\r\n" + QByteArray(70 * 1024, 'n');
    put(store.journalPath(), body + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() + '\n');
    const StoredRecord record = store.LoadRecord();
    QCOMPARE((record.errors.join(QString()) + record.score + record.name).toUtf8(), QByteArray("7\r\nOld\r\n"));
    QCOMPARE(contentOf(store.scorePath()) + contentOf(store.namePath()), QByteArray("7\r\nOld\r\n"));
    put(store.journalPath(), {});

    // A save of 9 cut short once its entry is on the disk: the entry's write, truncation
    // and sync go through, every call after them fails.
    if (!OsFiles::startTrace(m_dir, 3, true))
        QSKIP("this system's file calls cannot be traced");
    const SaveResult cut = store.SaveRecordIfBetter(QStringLiteral("9"), QStringLiteral("Nuova"), QStringLiteral("7"));
    OsFiles::takeTrace();
    QVERIFY(cut.mayCompleteLater);
    QVERIFY(contentOf(store.journalPath()).contains("Nuova"));
    // A copy that knows no journal saved 10 meanwhile: the lower entry is dropped.
    put(store.scorePath(), "10\r\n");
    const StoredRecord kept = store.LoadRecord();
    QCOMPARE(kept.errors.join(QString()) + kept.score + kept.name, QStringLiteral("10\r\nOld\r\n"));
}

void TestRecordStore::anotherCopyHoldingTheLockMakesSavesGiveUpAndReadersWait()
{
    RecordStore store = storeHolding(m_dir, "4\r\n", "Anna\r\n", LockPatience{300, 300});
    RecordFiles::Handle held = holdLock(store, false); // a reader
    QVERIFY(held.valid());
    const SaveResult result = store.SaveRecordIfBetter(QStringLiteral("5"), QStringLiteral("Bea"), QString());
    QCOMPARE(result.outcome, SaveOutcome::Failed);
    QVERIFY2(result.error.endsWith(QStringLiteral("è occupato da un'altra copia del gioco.")), qPrintable(result.error));
    held = RecordFiles::Handle();
    held = holdLock(store, true); // a saver: the copy that gave up let go of everything
    QVERIFY(held.valid());
    const StoredRecord busy = store.LoadRecord();
    QCOMPARE(busy.errors, QStringList{QStringLiteral("Il record è occupato in questo momento da un'altra copia del gioco: per ora non lo posso mostrare.")});
    QCOMPARE(busy.score + busy.name, QString());

    // A holder that lets go while a patient reader waits: it gets the record.
    std::thread letGo([&held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        held = RecordFiles::Handle();
    });
    const StoredRecord record = RecordStore(m_dir, LockPatience{60000, 60000}).LoadRecord();
    letGo.join();
    QCOMPARE(record.errors.join(QString()) + record.score + record.name, QStringLiteral("4\r\nAnna\r\n"));
}

void TestRecordStore::copiesSavingAtOnceShowOnlyWholePairs()
{
    // Each copy in a thread with a store and open files of its own: the locks are held
    // per open file, so they keep the copies apart as they keep programs apart.
    constexpr int kCopies = 8;
    constexpr int kRounds = 128;
    QVERIFY(RecordStore(m_dir).EnsureRecordFiles().isEmpty());
    struct Copy {
        int saved = 0;
        QStringList bad;
    };
    std::vector<Copy> copies(kCopies);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int index = 0; index < kCopies; ++index) {
        threads.emplace_back([&, index] {
            // Patient: eight copies saving flat out may keep one waiting for seconds on a
            // slow disk, and a copy that gave up is not what this looks for.
            RecordStore store(m_dir, LockPatience{60000, 60000});
            Copy &copy = copies[index];
            // All of them set up and waiting, so that they really run at the same time.
            for (++ready; ready < kCopies;)
                std::this_thread::yield();
            for (int round = 0, best = 0; round < kRounds; ++round) {
                const StoredRecord shown = store.LoadRecord();
                // A torn pair reads as -1: below anything this copy has saved.
                if (!shown.errors.isEmpty() || scoreOf(shown) < best)
                    copy.bad << QStringLiteral("shown after saving %1: %2").arg(best).arg(shown.score + shown.name + shown.errors.join(' '));
                // As a copy that was shown no record: every save goes as far as the lock.
                const int score = index + 1 + round * kCopies;
                const SaveResult r = store.SaveRecordIfBetter(QString::number(score), nameFor(score), QString());
                copy.saved += r.outcome == SaveOutcome::Saved;
                best = r.outcome == SaveOutcome::Saved ? score : best;
                if (r.outcome == SaveOutcome::Failed)
                    copy.bad << QStringLiteral("save of %1: %2").arg(score).arg(r.error);
                // A breath between rounds, so that no copy runs all its rounds in one time slice.
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    int saved = 0;
    for (const Copy &copy : copies) {
        QVERIFY2(copy.bad.isEmpty(), qPrintable(copy.bad.join(QLatin1Char('\n'))));
        saved += copy.saved;
    }
    qInfo("%d copies saving at once: %d saves (%d saved) and as many loads; no pair shown torn, lower than the "
          "copy's own save or busy, no save failed", kCopies, kCopies * kRounds, saved);
    const StoredRecord last = RecordStore(m_dir).LoadRecord();
    QVERIFY(last.errors.isEmpty());
    // The highest score of the race, which nothing beats.
    QCOMPARE(scoreOf(last), kCopies * kRounds);
}

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
