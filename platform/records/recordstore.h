#pragma once

#include <QString>
#include <QStringList>

// What the record files hold: score and holder, each as stored (line break included).
struct StoredRecord {
    QString score;
    QString name;
    // Italian messages for the player; the record is then taken as empty.
    QStringList errors;
};

enum class SaveOutcome { NotBetter, Saved, BeatenMeanwhile, Failed };

struct SaveResult {
    SaveOutcome outcome = SaveOutcome::NotBetter;
    QString error;        // set when Failed
    // Failed, yet the new pair may still be completed by the next copy that starts: the
    // old one could not be put back, or the journal not surely emptied (a failing disk).
    bool mayCompleteLater = false;
    QString storedScore;  // what stood in the files when the save was decided
    QString storedName;
};

// How long a copy waits for the lock another copy holds before it gives up.
struct LockPatience {
    int loadMsecs = 2000;
    int saveMsecs = 5000;
};

// The two record files in one machine-wide folder, and a journal beside them. Every
// rewrite happens under an exclusive lock on the score file; readers take a shared
// one. A save goes to the journal first, so one cut short by a kill or a power cut
// is finished by the next copy, and no one ever sees half of it.
class RecordStore
{
public:
    explicit RecordStore(const QString &recordDir, LockPatience patience = {});

    QString scorePath() const;
    QString namePath() const;
    QString journalPath() const;

    // Makes the folder and the files when missing (files 0666), leaves existing ones.
    QStringList EnsureRecordFiles();
    // Nothing but what was read under the lock; a record held too long by another
    // copy is reported as busy and shown empty.
    StoredRecord LoadRecord();
    // Writes score and name only when the score is strictly higher than both the
    // record the player was shown and the one stored now; all or nothing.
    SaveResult SaveRecordIfBetter(const QString &scoreCaption, const QString &nameCaption,
                                  const QString &shownRecordCaption);
    // The text and CR LF, replacing the file's content; an error text or empty.
    static QString WriteRecordFile(const QString &path, const QString &text);

private:
    StoredRecord readUnderSharedLock(bool &interruptedSave) const;
    void finishInterruptedSave() const;

    QString m_dir;
    LockPatience m_patience;
};
