// Operating-system services the game asks for: dialogs, sound, where the record
// lives and how its files are read. The window takes them through this interface,
// so tests hand it a fake.
#pragma once

#include <QString>

// A whole text file, or why it could not be had (Italian, for the player).
struct ReadResult {
    QString text;
    QString error;
    bool ok() const { return error.isEmpty(); }
};

class Platform
{
public:
    virtual ~Platform() = default;

    // Modal message box, OK only, no icon, titled with the program's name.
    virtual void ShowMessage(const QString &text) = 0;
    // Modal Yes/No question with the question icon; No is the default.
    virtual bool AskYesNo(const QString &text, const QString &title) = 0;
    // Modal one-line prompt; Cancel gives an empty text.
    virtual QString PromptText(const QString &prompt) = 0;
    // The machine-wide record folder, ending with a separator.
    virtual QString GetSystemDir() = 0;
    virtual ReadResult Leggifiletxt(const QString &nomefile) = 0;
    // Returns at once; a sound that cannot be played is silent.
    virtual void PlaySoundFile(const QString &path) = 0;
    // Folder of the program's own files, without a trailing separator.
    virtual QString ProgramFolder() = 0;
    // Whether ending the program closes it (a page in a browser may not close its tab).
    virtual bool CanCloseProgram() = 0;
    // Ends the program; where it cannot close, its window stays as it is.
    virtual void EndProgram() = 0;
};
