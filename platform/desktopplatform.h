#pragma once

#include "platform/platform.h"

#include <QPointer>
#include <QWidget>

class SoundPlayer;

// The real services: Qt dialogs, the sound player, the machine-wide record folder.
class DesktopPlatform : public Platform
{
public:
    explicit DesktopPlatform(SoundPlayer &sound);

    // Dialogs open over this window (they are modal to it).
    void setDialogParent(QWidget *parent) { m_parent = parent; }

    void ShowMessage(const QString &text) override;
    bool AskYesNo(const QString &text, const QString &title) override;
    QString PromptText(const QString &prompt) override;
    QString GetSystemDir() override;
    ReadResult Leggifiletxt(const QString &nomefile) override;
    void PlaySoundFile(const QString &path) override;
    QString ProgramFolder() override;
    bool CanCloseProgram() override;
    void EndProgram() override;

    // Qt's own Italian texts for the standard buttons, whatever the locale.
    static void installItalianTranslation();

private:
    QWidget *dialogParent() const;

    SoundPlayer &m_sound;
    QPointer<QWidget> m_parent;
};
