#include "platform/desktopplatform.h"
#include "platform/soundplayer.h"
#include "window/appsetup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    prepareApplication();
    const std::unique_ptr<SoundPlayer> sound = SoundPlayer::createForDesktop();
    DesktopPlatform platform(*sound);
    return runProgram(platform, *sound);
}
