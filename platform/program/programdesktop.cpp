#include "platform/program/program.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace Program {

QString folder()
{
    // applicationDirPath follows /proc/self/exe, so a link on the PATH leads here too.
    return QDir::cleanPath(QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath());
}

bool canClose()
{
    return true;
}

void end()
{
    QCoreApplication::exit(0);
}

} // namespace Program
