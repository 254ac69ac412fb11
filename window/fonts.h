#pragma once

#include <QFont>
#include <QString>

namespace Fonts {
// Maps the classic family names the window asks for to the Liberation fonts that the
// set-up installs, so the layout is the same on every machine.
void installSubstitutions();
QFont make(const QString &family, double points, bool bold, bool italic = false);
} // namespace Fonts
