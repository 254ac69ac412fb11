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
    QString storedScore;  // what stood in the files when the save was decided
    QString storedName;
};

// The two record files in one machine-wide folder. Every rewrite happens under an
// exclusive lock on the score file; readers take a shared one.
class RecordStore
{
public:
    explicit RecordStore(const QString &recordDir);

    QString scorePath() const;
    QString namePath() const;

    // Makes the folder and both files when missing (files 0666), leaves existing ones.
    QStringList EnsureRecordFiles();
    StoredRecord LoadRecord();
    // Writes score and name only when the score is strictly higher than both the
    // record the player was shown and the one stored now; all or nothing.
    SaveResult SaveRecordIfBetter(const QString &scoreCaption, const QString &nameCaption,
                                  const QString &shownRecordCaption);
    // The text and CR LF, replacing the file's content; an error text or empty.
    static QString WriteRecordFile(const QString &path, const QString &text);

private:
    QString m_dir;
};
