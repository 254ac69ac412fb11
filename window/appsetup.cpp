#include "window/appsetup.h"

#include "platform/desktopplatform.h"
#include "window/fonts.h"

#include <QApplication>

void prepareApplication()
{
    QApplication::setApplicationName(QStringLiteral("Contadopo"));
    // Wayland compositors take the window's icon and name from the entry with this id.
    QApplication::setDesktopFileName(QStringLiteral("it.contadopo.contadopo"));
    // The window ends the program itself; dialogs shown while it is hidden must not.
    QApplication::setQuitOnLastWindowClosed(false);
    DesktopPlatform::installItalianTranslation();
    Fonts::installSubstitutions();
}
