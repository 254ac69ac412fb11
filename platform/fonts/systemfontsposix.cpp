#include "platform/fonts/systemfonts.h"

#include <QFont>

namespace SystemFonts {

// The Liberation fonts the set-up installs have the same metrics, so the layout is
// the same on every machine.
void installSubstitutions()
{
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"));
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial Black"), QStringLiteral("Liberation Sans"));
}

} // namespace SystemFonts
