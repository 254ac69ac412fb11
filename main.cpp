#include "game/gametexts.h"
#include "platform/desktopplatform.h"
#include "platform/systemsoundplayer.h"
#include "window/appsetup.h"
#include "window/tavola.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    prepareApplication();

    const auto sound = makeSystemSoundPlayer();
    DesktopPlatform platform(*sound);
    const QString folder = platform.ProgramFolder() + QLatin1Char('/');
    sound->preload(folder + GameTexts::kRightSound);
    sound->preload(folder + GameTexts::kWrongSound);

    Tavola tavola(platform);
    platform.setDialogParent(&tavola);
    QObject::connect(&tavola, &Tavola::quitRequested, &app, [] { QCoreApplication::exit(0); }, Qt::DirectConnection);
    tavola.start();
    if (tavola.quitting())
        return 0;
    return app.exec();
}
