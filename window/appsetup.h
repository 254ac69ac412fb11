#pragma once

#include <QString>
#include <QtMessageHandler>

class DesktopPlatform;
class SoundPlayer;

// What the program sets on its QApplication before any window: name, Italian
// dialog texts, font substitutions, and that only Tavola ends the program.
// The benchmark calls it too, so it measures the program as it starts.
void prepareApplication();

// The program from its name prompt to its end, on a prepared application:
// the window, its cues, its dialogs. Returns the exit status.
int runProgram(DesktopPlatform &platform, SoundPlayer &sound);

// The game takes no options: --version and --help answer without a display and give
// 0, anything else gets the usage line and 2; -1 means play.
int answerCommandLine(int argc, char *argv[]);

// While it lives, Qt's messages are held back: if Qt cannot reach a display it would
// say several lines and dump core, so one line and status 1 come out instead. Once the
// application is up, what was held back goes out as usual.
class DisplayGuard
{
public:
    DisplayGuard();
    ~DisplayGuard();
    DisplayGuard(const DisplayGuard &) = delete;
    DisplayGuard &operator=(const DisplayGuard &) = delete;

private:
    QtMessageHandler m_previous = nullptr;
};
