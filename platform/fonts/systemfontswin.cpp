#include "platform/fonts/systemfonts.h"

#include <QFont>

namespace SystemFonts {

// Windows has the real ones; only the old bitmap face, which Qt cannot scale, is
// drawn with its outline successor.
void installSubstitutions()
{
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"));
}

} // namespace SystemFonts
