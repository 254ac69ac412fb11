#include "window/appsetup.h"

#include "game/gametexts.h"
#include "platform/desktopplatform.h"
#include "platform/soundplayer.h"
#include "platform/systemfonts.h"
#include "window/tavola.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>
#include <functional>

namespace {
// Long enough for the first drawing to reach the screen, far shorter than
// anyone takes to type a name.
constexpr int kAfterShownMsecs = 200;

class FirstExposure : public QObject
{
public:
    FirstExposure(QObject *context, std::function<void()> work)
        : QObject(context)
        , m_work(std::move(work))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && watched->isWindowType()
            && static_cast<QWindow *>(watched)->isExposed()) {
            qApp->removeEventFilter(this);
            QTimer::singleShot(kAfterShownMsecs, parent(), std::move(m_work));
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> m_work;
};

// Runs `work` a moment after the first window has been drawn: for what the first
// dialog does not need, so it never delays that dialog. Nothing runs once `context` is gone.
void afterFirstWindowShown(QObject *context, std::function<void()> work)
{
    qApp->installEventFilter(new FirstExposure(context, std::move(work)));
}
} // namespace

void prepareApplication()
{
    QApplication::setApplicationName(QStringLiteral("Contadopo"));
    // Wayland compositors take the window's icon and name from the entry with this id.
    QApplication::setDesktopFileName(QStringLiteral("it.contadopo.contadopo"));
    // The window ends the program itself; dialogs shown while it is hidden must not.
    QApplication::setQuitOnLastWindowClosed(false);
    DesktopPlatform::installItalianTranslation();
    SystemFonts::installSubstitutions();
}

int runProgram(DesktopPlatform &platform, SoundPlayer &sound)
{
    Tavola tavola(platform, Tavola::Build::BehindFirstDialog);
    // The window and the cues are needed only after the name: the prompt waits for neither.
    afterFirstWindowShown(&tavola, [&sound, &tavola, folder = platform.ProgramFolder() + QLatin1Char('/')] {
        tavola.build();
        sound.preload(folder + GameTexts::kRightSound);
        sound.preload(folder + GameTexts::kWrongSound);
    });
    platform.setDialogParent(&tavola);
    QObject::connect(&tavola, &Tavola::quitRequested, qApp, [] { QCoreApplication::exit(0); }, Qt::DirectConnection);
    tavola.start();
    if (tavola.quitting())
        return 0;
    return QApplication::exec();
}
