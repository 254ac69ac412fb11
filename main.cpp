#include "game/gametexts.h"
#include "platform/desktopplatform.h"
#include "platform/sound/soundplayer.h"
#include "window/appsetup.h"
#include "window/tavola.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    prepareApplication();

    const std::unique_ptr<SoundPlayer> sound = SoundPlayer::createForDesktop();
    DesktopPlatform platform(*sound);
    Tavola tavola(platform, Tavola::Build::BehindFirstDialog);
    // The window and the cues are needed only after the name: the prompt waits for neither.
    afterFirstWindowShown([&sound, &tavola, folder = platform.ProgramFolder() + QLatin1Char('/')] {
        tavola.build();
        sound->preload(folder + GameTexts::kRightSound);
        sound->preload(folder + GameTexts::kWrongSound);
    });
    platform.setDialogParent(&tavola);
    QObject::connect(&tavola, &Tavola::quitRequested, &app, [&platform] { platform.EndProgram(); }, Qt::DirectConnection);
    tavola.start();
    if (tavola.quitting())
        return 0;
    return app.exec();
}
