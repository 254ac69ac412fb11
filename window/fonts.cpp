#include "window/fonts.h"

namespace Fonts {

void installSubstitutions()
{
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"));
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial Black"), QStringLiteral("Liberation Sans"));
}

QFont make(const QString &family, double points, bool bold, bool italic)
{
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    // Liberation has no black face of its own; its heaviest weight stands in.
    if (family == QLatin1String("Arial Black"))
        font.setWeight(QFont::Black);
    return font;
}

} // namespace Fonts
