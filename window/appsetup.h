#pragma once

#include <functional>

// What the program sets on its QApplication before any window: name, Italian
// dialog texts, font substitutions, and that only Tavola ends the program.
// The benchmark calls it too, so it measures the program as it starts.
void prepareApplication();

// Runs `work` on the GUI thread a moment after the first window has been drawn:
// for what the first dialog does not need, so it never delays that dialog.
void afterFirstWindowShown(std::function<void()> work);
