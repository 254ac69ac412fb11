#include "platform/records/recordstore.h"

#include "game/recordrules.h"
#include "platform/platformtexts.h"
#include "platform/records/recordfiles.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <optional>

using namespace RecordFiles;

namespace {

QString fileName(QLatin1String suffix)
{
    return QString(suffix).mid(1);
}

QByteArray withLineBreak(const QString &text)
{
    return text.toUtf8() + "\r\n";
}

// The two files' content, byte for byte.
struct Pair {
    QByteArray score;
    QByteArray name;
};

// A journal entry: a line naming it, the two lengths, both contents, then the SHA-256
// of all that. An entry cut short, or flushed only in part before a power cut, fails
// the sum and counts as no entry at all.
const QByteArray kJournalMagic = QByteArrayLiteral("contadopo journal 1\n");
constexpr qint64 kJournalMaxBytes = 2 * kMaxBytes + 256;
constexpr qsizetype kSumBytes = 64 + 1;

QByteArray sumOf(const QByteArray &body)
{
    return QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() + '\n';
}

QByteArray journalEntry(const Pair &pair)
{
    const QByteArray body = kJournalMagic + QByteArray::number(pair.score.size()) + ' '
        + QByteArray::number(pair.name.size()) + '\n' + pair.score + pair.name;
    return body + sumOf(body);
}

std::optional<Pair> journaledPair(const QByteArray &entry)
{
    if (!entry.startsWith(kJournalMagic) || entry.size() < kJournalMagic.size() + kSumBytes)
        return std::nullopt;
    const QByteArray body = entry.left(entry.size() - kSumBytes);
    const qsizetype lineEnd = body.indexOf('\n', kJournalMagic.size());
    if (entry.mid(body.size()) != sumOf(body) || lineEnd < 0)
        return std::nullopt;
    const QList<QByteArray> lengths = body.mid(kJournalMagic.size(), lineEnd - kJournalMagic.size()).split(' ');
    bool scoreOk = false;
    bool nameOk = false;
    const qsizetype scoreSize = lengths.value(0).toLongLong(&scoreOk);
    const qsizetype nameSize = lengths.value(1).toLongLong(&nameOk);
    const QByteArray contents = body.mid(lineEnd + 1);
    // Bounded as a save is: a pair the next start could not read back is no entry.
    if (lengths.size() != 2 || !scoreOk || !nameOk || scoreSize < 0 || nameSize < 0
        || scoreSize > kMaxBytes || nameSize > kMaxBytes || scoreSize + nameSize != contents.size())
        return std::nullopt;
    return Pair{contents.left(scoreSize), contents.mid(scoreSize)};
}

// A complete entry is the pair a save was writing when it was cut short, unless the
// files already hold a higher score (set by a copy that knows no journal).
std::optional<Pair> pendingPair(const Bytes &journal, const Bytes &storedScore)
{
    std::optional<Pair> pair = journal.ok() ? journaledPair(journal.bytes) : std::nullopt;
    if (pair && storedScore.ok() && RecordRules::beats(decode(storedScore.bytes), decode(pair->score)))
        return std::nullopt;
    return pair;
}

QString cannotWrite(const QString &path, const QString &reason)
{
    return reason.isEmpty() ? QString() : PlatformTexts::kCannotWrite.arg(nativePath(path), reason);
}

// Both files on the disk, or the message naming the one that failed.
QString writePair(const RecordStore &store, const Handle &score, const Handle &name, const Pair &pair)
{
    QString error = cannotWrite(store.scorePath(), writeContent(score, pair.score));
    if (error.isEmpty())
        error = cannotWrite(store.namePath(), writeContent(name, pair.name));
    if (error.isEmpty())
        error = cannotWrite(store.scorePath(), sync(score));
    if (error.isEmpty())
        error = cannotWrite(store.namePath(), sync(name));
    return error;
}

// Under the exclusive lock: finishes a save cut short, or drops the entry of one that
// never reached the files; either way the journal is left empty. It is not synced
// empty: an entry that comes back after a power cut only writes the same pair again.
QString settleJournal(const RecordStore &store, const Handle &journal, const Handle &score, const Handle &name)
{
    const Bytes entry = readBytes(journal, kJournalMaxBytes);
    if (entry.ok() && entry.bytes.isEmpty())
        return {};
    if (const auto pair = pendingPair(entry, readBytes(score))) {
        const QString error = writePair(store, score, name, *pair);
        if (!error.isEmpty())
            return error;
    }
    return cannotWrite(store.journalPath(), writeContent(journal, {}));
}

} // namespace

RecordStore::RecordStore(const QString &recordDir, LockPatience patience)
    : m_dir(recordDir)
    , m_patience(patience)
{
}

QString RecordStore::scorePath() const
{
    return m_dir + PlatformTexts::kScoreFile;
}

QString RecordStore::namePath() const
{
    return m_dir + PlatformTexts::kNameFile;
}

QString RecordStore::journalPath() const
{
    return m_dir + PlatformTexts::kJournalFile;
}

QStringList RecordStore::EnsureRecordFiles()
{
    QStringList errors;
    const Handle folder = openFolder(m_dir, true);
    for (const auto &[suffix, path] : {std::pair{PlatformTexts::kScoreFile, scorePath()},
                                       std::pair{PlatformTexts::kNameFile, namePath()},
                                       std::pair{PlatformTexts::kJournalFile, journalPath()}}) {
        const Handle file = openInFolder(folder, fileName(suffix), Access::WriteCreate);
        if (!file.valid()) {
            const Handle readable = openInFolder(folder, fileName(suffix), Access::Read);
            if (!readable.valid())
                errors << PlatformTexts::kCannotCreate.arg(nativePath(path), file.error);
        }
    }
    return errors;
}

StoredRecord RecordStore::LoadRecord()
{
    bool interruptedSave = false;
    StoredRecord record = readUnderSharedLock(interruptedSave);
    if (interruptedSave)
        finishInterruptedSave();
    return record;
}

StoredRecord RecordStore::readUnderSharedLock(bool &interruptedSave) const
{
    StoredRecord record;
    const Handle folder = openFolder(m_dir, false);
    const Handle score = openInFolder(folder, fileName(PlatformTexts::kScoreFile), Access::Read);
    if (score.valid() && !lock(score, false, m_patience.loadMsecs)) {
        record.errors << PlatformTexts::kRecordBusy;
        return record;
    }
    const Handle name = openInFolder(folder, fileName(PlatformTexts::kNameFile), Access::Read);
    const Handle journal = openInFolder(folder, fileName(PlatformTexts::kJournalFile), Access::Read);
    const Bytes scoreBytes = readBytes(score);
    if (const auto pending = pendingPair(readBytes(journal, kJournalMaxBytes), scoreBytes)) {
        interruptedSave = true;
        record.score = decode(pending->score);
        record.name = decode(pending->name);
        return record;
    }
    const Bytes nameBytes = readBytes(name);
    if (scoreBytes.ok() && nameBytes.ok()) {
        record.score = decode(scoreBytes.bytes);
        record.name = decode(nameBytes.bytes);
        return record;
    }
    if (!scoreBytes.ok())
        record.errors << PlatformTexts::kCannotRead.arg(nativePath(scorePath()), scoreBytes.error);
    if (!nameBytes.ok())
        record.errors << PlatformTexts::kCannotRead.arg(nativePath(namePath()), nameBytes.error);
    return record;
}

void RecordStore::finishInterruptedSave() const
{
    const Handle folder = openFolder(m_dir, false);
    const Handle score = openInFolder(folder, fileName(PlatformTexts::kScoreFile), Access::ReadWrite);
    // Whoever gets the lock next finishes it just the same.
    if (!lock(score, true, m_patience.loadMsecs))
        return;
    const Handle name = openInFolder(folder, fileName(PlatformTexts::kNameFile), Access::ReadWrite);
    const Handle journal = openInFolder(folder, fileName(PlatformTexts::kJournalFile), Access::ReadWrite);
    if (name.valid() && journal.valid())
        settleJournal(*this, journal, score, name);
}

SaveResult RecordStore::SaveRecordIfBetter(const QString &scoreCaption, const QString &nameCaption,
                                           const QString &shownRecordCaption)
{
    SaveResult result;
    if (!RecordRules::beats(scoreCaption, shownRecordCaption))
        return result;
    const auto fail = [&](const QString &message) {
        result.outcome = SaveOutcome::Failed;
        result.error = message;
        return result;
    };
    const Pair pair{withLineBreak(scoreCaption), withLineBreak(nameCaption)};
    // The next start could not read it back: refused before anything is touched.
    if (pair.name.size() > kMaxBytes)
        return fail(PlatformTexts::kNameTooLong.arg(nativePath(namePath())));

    const Handle folder = openFolder(m_dir, false);
    const Handle score = openInFolder(folder, fileName(PlatformTexts::kScoreFile), Access::WriteCreate);
    if (!score.valid())
        return fail(cannotWrite(scorePath(), score.error));
    if (!lock(score, true, m_patience.saveMsecs))
        return fail(cannotWrite(scorePath(), PlatformTexts::kReasonBusy));
    const Handle name = openInFolder(folder, fileName(PlatformTexts::kNameFile), Access::WriteCreate);
    if (!name.valid())
        return fail(cannotWrite(namePath(), name.error));
    // Without its journal a save could be cut in half: better not to save at all.
    const Handle journal = openInFolder(folder, fileName(PlatformTexts::kJournalFile), Access::WriteCreate);
    if (!journal.valid())
        return fail(cannotWrite(journalPath(), journal.error));
    if (const QString error = settleJournal(*this, journal, score, name); !error.isEmpty())
        return fail(error);

    const Bytes oldScore = readBytes(score);
    const Bytes oldName = readBytes(name);
    result.storedScore = decode(oldScore.bytes);
    result.storedName = decode(oldName.bytes);
    // Another copy may have set a higher record since this race began.
    if (oldScore.ok() && !RecordRules::beats(scoreCaption, result.storedScore)) {
        result.outcome = SaveOutcome::BeatenMeanwhile;
        return result;
    }

    // A save reported as failed leaves no entry that a later start would finish: it is
    // withdrawn, on the disk, before the failure is shown.
    const auto withdrawn = [&](const QString &message) {
        result.mayCompleteLater = !replaceContent(journal, {}).isEmpty();
        return fail(message);
    };
    QString error = writeContent(journal, journalEntry(pair));
    if (error.isEmpty())
        error = sync(journal);
    if (!error.isEmpty())
        return withdrawn(cannotWrite(journalPath(), error));
    error = writePair(*this, score, name, pair);
    if (!error.isEmpty()) {
        // Put the old pair back; if even that fails, the entry keeps the new pair
        // whole and the next copy finishes it.
        if (oldScore.ok() && oldName.ok() && writePair(*this, score, name, {oldScore.bytes, oldName.bytes}).isEmpty())
            return withdrawn(error);
        result.mayCompleteLater = true;
        return fail(error);
    }
    writeContent(journal, {});
    result.outcome = SaveOutcome::Saved;
    return result;
}

QString RecordStore::WriteRecordFile(const QString &path, const QString &text)
{
    const QFileInfo info(path);
    const Handle folder = openFolder(info.path(), false);
    const Handle file = openInFolder(folder, info.fileName(), Access::WriteCreate);
    return replaceContent(file, withLineBreak(text));
}
