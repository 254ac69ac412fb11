#pragma once

#include <functional>
#include <QString>
#include <QtMessageHandler>

// What the program sets on its QApplication before any window: name, Italian
// dialog texts, font substitutions, and that only Tavola ends the program.
// The benchmark calls it too, so it measures the program as it starts.
void prepareApplication();

// Runs `work` on the GUI thread a moment after the first window has been drawn:
// for what the first dialog does not need, so it never delays that dialog.
void afterFirstWindowShown(std::function<void()> work);

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
