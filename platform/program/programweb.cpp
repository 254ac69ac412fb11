#include "platform/program/program.h"

namespace Program {

// The cues and Qt's Italian texts are compiled in as resources: the page has no
// folder of its own.
QString folder()
{
    return QStringLiteral(":");
}

QString translationsFolder()
{
    return QStringLiteral(":/translations");
}

// A page may not close the browser's tab: the race ends and its window stays.
bool canClose()
{
    return false;
}

void end()
{
}

} // namespace Program
