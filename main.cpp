#include "platform/desktopplatform.h"
#include "platform/qtsoundplayer.h"
#include "window/fonts.h"
#include "window/tavola.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Contadopo"));
    // The window ends the program itself; dialogs shown while it is hidden must not.
    QApplication::setQuitOnLastWindowClosed(false);
    DesktopPlatform::installItalianTranslation();
    Fonts::installSubstitutions();

    QtSoundPlayer sound;
    DesktopPlatform platform(sound);
    const QString folder = platform.ProgramFolder();
    sound.preload(folder + QStringLiteral("/suoni/Esatto.wav"));
    sound.preload(folder + QStringLiteral("/suoni/no.wav"));

    Tavola tavola(platform);
    platform.setDialogParent(&tavola);
    QObject::connect(&tavola, &Tavola::quitRequested, &app, [] { QCoreApplication::exit(0); }, Qt::DirectConnection);
    tavola.start();
    if (tavola.quitting())
        return 0;
    return app.exec();
}
