#include "platform/desktopplatform.h"
#include "platform/sound/soundplayer.h"
#include "window/appsetup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (const int status = answerCommandLine(argc, argv); status >= 0)
        return status;
    auto displayGuard = std::make_unique<DisplayGuard>();
    QApplication app(argc, argv);
    displayGuard.reset();
    prepareApplication();
    const std::unique_ptr<SoundPlayer> sound = SoundPlayer::createForDesktop();
    DesktopPlatform platform(*sound);
    return runProgram(platform, *sound);
}
