#include "platform/fonts/systemfonts.h"

#include <QFont>
#include <QFontDatabase>

namespace SystemFonts {

// A browser offers a page none of its fonts: the page brings the Liberation faces the
// window uses, compiled in, with the metrics of the classic ones.
void installSubstitutions()
{
    for (const char *face : {"LiberationSans-Regular", "LiberationSans-Bold", "LiberationSans-BoldItalic",
                             "LiberationSerif-Bold"})
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/%1.ttf").arg(QLatin1String(face)));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"));
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial Black"), QStringLiteral("Liberation Sans"));
}

} // namespace SystemFonts
