// Stands in for the operating system: answers dialogs from queues and records
// everything the window asked for. Files are real, in a folder the test owns.
#pragma once

#include "platform/platform.h"
#include "platform/records/recordfiles.h"

#include <QStringList>
#include <functional>

class FakePlatform : public Platform
{
public:
    QString recordDir;
    QStringList promptAnswers; // taken in order; an empty queue answers "" (Cancel)
    QList<bool> yesNoAnswers;  // an empty queue answers No
    QStringList prompts;
    QStringList messages;
    QStringList questions;
    QStringList sounds;
    // Runs while a message or yes/no box would be open, as the event loop would.
    std::function<void(const QString &)> duringBox;

    void ShowMessage(const QString &text) override
    {
        messages << text;
        if (duringBox)
            duringBox(text);
    }
    bool AskYesNo(const QString &text, const QString &title) override
    {
        questions << title + QLatin1Char('|') + text;
        if (duringBox)
            duringBox(text);
        return yesNoAnswers.isEmpty() ? false : yesNoAnswers.takeFirst();
    }
    QString PromptText(const QString &prompt) override
    {
        prompts << prompt;
        return promptAnswers.isEmpty() ? QString() : promptAnswers.takeFirst();
    }
    QString GetSystemDir() override { return recordDir; }
    ReadResult Leggifiletxt(const QString &nomefile) override { return RecordFiles::readTextFile(nomefile); }
    void PlaySoundFile(const QString &path) override { sounds << path; }
    QString ProgramFolder() override { return QStringLiteral("/opt/contadopo"); }
    bool canClose = true; // false: a page in a browser
    bool CanCloseProgram() override { return canClose; }
    void EndProgram() override {}
};
