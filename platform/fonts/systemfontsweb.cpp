#include "platform/fonts/systemfonts.h"

#include <QFont>
#include <QFontDatabase>

namespace SystemFonts {

// A browser offers a page none of its fonts: the page brings the faces the window uses,
// compiled in: Liberation's, with the metrics of the classic ones, cut down and renamed.
void installSubstitutions()
{
    for (const char *face : {"ContadopoSans-Regular", "ContadopoSans-Bold", "ContadopoSans-BoldItalic",
                             "ContadopoSerif-Bold"})
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/%1.ttf").arg(QLatin1String(face)));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Contadopo Sans"));
    QFont::insertSubstitution(QStringLiteral("Times New Roman"), QStringLiteral("Contadopo Serif"));
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Contadopo Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial Black"), QStringLiteral("Contadopo Sans"));
}

} // namespace SystemFonts
