#pragma once

#include <functional>

class DesktopPlatform;
class QObject;
class SoundPlayer;

// What the program sets on its QApplication before any window: name, Italian
// dialog texts, font substitutions, and that only Tavola ends the program.
// The benchmark calls it too, so it measures the program as it starts.
void prepareApplication();

// Runs `work` on the GUI thread a moment after the first window has been drawn:
// for what the first dialog does not need, so it never delays that dialog.
// Nothing runs once `context` is gone.
void afterFirstWindowShown(QObject *context, std::function<void()> work);

// The program from its name prompt to its end, on a prepared application:
// the window, its cues, its dialogs. Returns the exit status.
int runProgram(DesktopPlatform &platform, SoundPlayer &sound);
