#include "platform/recordstore.h"

#include "game/recordrules.h"
#include "platform/platformtexts.h"
#include "platform/recordfiles.h"

#include <QDir>
#include <QFileInfo>

using namespace RecordFiles;

namespace {
constexpr int kReadLockMsecs = 1000;
constexpr int kWriteLockMsecs = 3000;

QString shown(const QString &path)
{
    return QDir::cleanPath(path);
}

QString fileName(QLatin1String suffix)
{
    return QString(suffix).mid(1);
}

QByteArray withLineBreak(const QString &text)
{
    return text.toUtf8() + "\r\n";
}
} // namespace

RecordStore::RecordStore(const QString &recordDir)
    : m_dir(recordDir)
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

QStringList RecordStore::EnsureRecordFiles()
{
    QStringList errors;
    const Handle folder = openFolder(m_dir, true);
    for (const auto &[suffix, path] : {std::pair{PlatformTexts::kScoreFile, scorePath()},
                                       std::pair{PlatformTexts::kNameFile, namePath()}}) {
        const Handle file = openInFolder(folder, fileName(suffix), Access::WriteCreate);
        if (!file.valid()) {
            const Handle readable = openInFolder(folder, fileName(suffix), Access::Read);
            if (!readable.valid())
                errors << PlatformTexts::kCannotCreate.arg(shown(path), file.error);
        }
    }
    return errors;
}

StoredRecord RecordStore::LoadRecord()
{
    StoredRecord record;
    const Handle folder = openFolder(m_dir, false);
    const Handle score = openInFolder(folder, fileName(PlatformTexts::kScoreFile), Access::Read);
    // A writer that never lets go must not freeze the game: read anyway after a while.
    lock(score, false, kReadLockMsecs);
    const Handle name = openInFolder(folder, fileName(PlatformTexts::kNameFile), Access::Read);
    const ReadResult scoreText = readAll(score);
    const ReadResult nameText = readAll(name);
    if (scoreText.ok() && nameText.ok()) {
        record.score = scoreText.text;
        record.name = nameText.text;
        return record;
    }
    if (!scoreText.ok())
        record.errors << PlatformTexts::kCannotRead.arg(shown(scorePath()), scoreText.error);
    if (!nameText.ok())
        record.errors << PlatformTexts::kCannotRead.arg(shown(namePath()), nameText.error);
    return record;
}

SaveResult RecordStore::SaveRecordIfBetter(const QString &scoreCaption, const QString &nameCaption,
                                           const QString &shownRecordCaption)
{
    SaveResult result;
    if (!RecordRules::beats(scoreCaption, shownRecordCaption))
        return result;

    const Handle folder = openFolder(m_dir, false);
    Handle score = openInFolder(folder, fileName(PlatformTexts::kScoreFile), Access::WriteCreate);
    const auto fail = [&](const QString &path, const QString &reason) {
        result.outcome = SaveOutcome::Failed;
        result.error = PlatformTexts::kCannotWrite.arg(shown(path), reason);
        return result;
    };
    if (!score.valid())
        return fail(scorePath(), score.error);
    if (!lock(score, true, kWriteLockMsecs))
        return fail(scorePath(), PlatformTexts::kReasonBusy);

    const Bytes oldScore = readBytes(score);
    const Handle name = openInFolder(folder, fileName(PlatformTexts::kNameFile), Access::WriteCreate);
    const Bytes oldName = readBytes(name);
    result.storedScore = decode(oldScore.bytes);
    result.storedName = decode(oldName.bytes);
    // Another copy may have set a higher record since this race began.
    if (oldScore.ok() && !RecordRules::beats(scoreCaption, result.storedScore)) {
        result.outcome = SaveOutcome::BeatenMeanwhile;
        return result;
    }
    if (!name.valid())
        return fail(namePath(), name.error);

    const QString scoreError = replaceContent(score, withLineBreak(scoreCaption));
    if (!scoreError.isEmpty()) {
        replaceContent(score, oldScore.bytes);
        return fail(scorePath(), scoreError);
    }
    const QString nameError = replaceContent(name, withLineBreak(nameCaption));
    if (!nameError.isEmpty()) {
        // Score and name belong together: put the old score back.
        replaceContent(name, oldName.bytes);
        replaceContent(score, oldScore.bytes);
        return fail(namePath(), nameError);
    }
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
