#include "window/appsetup.h"

#include "game/gametexts.h"
#include "platform/program/console.h"
#include "platform/desktopplatform.h"
#include "platform/fonts/systemfonts.h"
#include "platform/sound/soundplayer.h"
#include "window/tavola.h"
#include "window/windowtexts.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>
#include <functional>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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

// The context's strings are static: only the text needs a copy.
struct HeldMessage
{
    QtMsgType type;
    const char *file;
    int line;
    const char *function;
    const char *category;
    QString text;
};
std::vector<HeldMessage> g_held;

void holdMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg) {
        std::fputs(WindowTexts::kNoDisplay.toLocal8Bit().constData(), stderr);
        std::fputc('\n', stderr);
        std::_Exit(1);
    }
    g_held.push_back({type, context.file, context.line, context.function, context.category, text});
}
} // namespace

void prepareApplication()
{
    QApplication::setApplicationName(QStringLiteral("Contadopo"));
    QApplication::setApplicationVersion(QStringLiteral(CONTADOPO_VERSION));
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
    QObject::connect(&tavola, &Tavola::quitRequested, qApp, [&platform] { platform.EndProgram(); }, Qt::DirectConnection);
    tavola.start();
    if (tavola.quitting())
        return 0;
    return QApplication::exec();
}

int answerCommandLine(int argc, char *argv[])
{
    if (argc <= 1)
        return -1;
    Console::useParentConsole();
    const QString usage = WindowTexts::kUsage + QLatin1Char('\n');
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("contadopo %s\n", CONTADOPO_VERSION);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs((usage + WindowTexts::kHelp + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
        return 0;
    }
    std::fputs(usage.toLocal8Bit().constData(), stderr);
    return 2;
}

DisplayGuard::DisplayGuard()
    : m_previous(qInstallMessageHandler(holdMessage))
{
}

DisplayGuard::~DisplayGuard()
{
    qInstallMessageHandler(m_previous);
    for (const HeldMessage &held : g_held)
        qt_message_output(held.type, QMessageLogContext(held.file, held.line, held.function, held.category), held.text);
    g_held.clear();
}
