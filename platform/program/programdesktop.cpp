#include "platform/program/program.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>

namespace Program {

void prepareWindows()
{
}

QString folder()
{
    // applicationDirPath follows /proc/self/exe, so a link on the PATH leads here too.
    return QDir::cleanPath(QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath());
}

QString translationsFolder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
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
