#include "window/appsetup.h"

#include "platform/desktopplatform.h"
#include "platform/systemfonts.h"

#include <QApplication>

void prepareApplication()
{
    QApplication::setApplicationName(QStringLiteral("Contadopo"));
    // The window ends the program itself; dialogs shown while it is hidden must not.
    QApplication::setQuitOnLastWindowClosed(false);
    DesktopPlatform::installItalianTranslation();
    SystemFonts::installSubstitutions();
}
