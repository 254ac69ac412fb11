#pragma once

#include <QFont>
#include <QString>

namespace Fonts {
// The families are the classic names; platform/ says which fonts draw them.
QFont make(const QString &family, double points, bool bold, bool italic = false);
} // namespace Fonts
