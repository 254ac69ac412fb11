#pragma once

#include <QString>

// Where the program's own files are and how it ends: a desktop program closes itself,
// a page in a browser may not close its tab.
namespace Program {

// Readies the windows to take keys as they do on this system; called once the
// application object exists.
void prepareWindows();
// Folder of the program's own files (the cues), without a trailing separator.
QString folder();
// Folder of Qt's own translations (the Italian texts of the standard buttons).
QString translationsFolder();
// Whether ending the program closes it; false where the page stays open.
bool canClose();
// Ends the program; where it cannot close, its last window stays as it is.
void end();

} // namespace Program
