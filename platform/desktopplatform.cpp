#include "platform/desktopplatform.h"

#include "platform/platformtexts.h"
#include "platform/program/program.h"
#include "platform/records/recordfiles.h"
#include "platform/sound/soundplayer.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTranslator>

DesktopPlatform::DesktopPlatform(SoundPlayer &sound)
    : m_sound(sound)
{
    Program::prepareWindows();
}

QWidget *DesktopPlatform::dialogParent() const
{
    // Before the window is shown (name prompt, greeting) a box centres on the screen.
    return m_parent && m_parent->isVisible() ? m_parent.data() : nullptr;
}

void DesktopPlatform::ShowMessage(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, PlatformTexts::kAppTitle, text, QMessageBox::Ok, dialogParent());
    box.exec();
}

bool DesktopPlatform::AskYesNo(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, dialogParent());
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString DesktopPlatform::PromptText(const QString &prompt)
{
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(PlatformTexts::kAppTitle);
    dialog.setLabelText(prompt);
    dialog.setTextValue(QString());
    dialog.setInputMode(QInputDialog::TextInput);
    if (auto *edit = dialog.findChild<QLineEdit *>())
        edit->setMaxLength(PlatformTexts::kMaxTypedChars);
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}

QString DesktopPlatform::GetSystemDir()
{
    return RecordFiles::machineFolder();
}

ReadResult DesktopPlatform::Leggifiletxt(const QString &nomefile)
{
    return RecordFiles::readTextFile(nomefile);
}

void DesktopPlatform::PlaySoundFile(const QString &path)
{
    m_sound.play(path);
}

QString DesktopPlatform::ProgramFolder()
{
    return Program::folder();
}

bool DesktopPlatform::CanCloseProgram()
{
    return Program::canClose();
}

void DesktopPlatform::EndProgram()
{
    Program::end();
}

void DesktopPlatform::installItalianTranslation()
{
    auto *translator = new QTranslator(qApp);
    if (translator->load(QStringLiteral("qtbase_it"), Program::translationsFolder()))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}
