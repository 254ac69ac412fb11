#include "window/fonts.h"

namespace Fonts {

QFont make(const QString &family, double points, bool bold, bool italic)
{
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    // Where no black face of its own is found (Liberation), the heaviest weight stands in.
    if (family == QLatin1String("Arial Black"))
        font.setWeight(QFont::Black);
    return font;
}

} // namespace Fonts
