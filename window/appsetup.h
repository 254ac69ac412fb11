#pragma once

class DesktopPlatform;
class SoundPlayer;

// What the program sets on its QApplication before any window: name, Italian
// dialog texts, font substitutions, and that only Tavola ends the program.
// The benchmark calls it too, so it measures the program as it starts.
void prepareApplication();

// The program from its name prompt to its end, on a prepared application:
// the window, its cues, its dialogs. Returns the exit status.
int runProgram(DesktopPlatform &platform, SoundPlayer &sound);
