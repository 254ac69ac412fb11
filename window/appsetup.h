#pragma once

// What the program sets on its QApplication before any window: name, Italian
// dialog texts, font substitutions, and that only Tavola ends the program.
// The benchmark calls it too, so it measures the program as it starts.
void prepareApplication();
