#include "osfiles.h"

#include <QFile>

#include <csignal>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace OsFiles {

void useUsualCreationMode()
{
    ::umask(022);
}

bool everyUserMayWrite(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & 0666) == 0666;
}

bool restrictWriting(const QString &path)
{
    return ::chmod(QFile::encodeName(path).constData(), 0640) == 0;
}

bool makeLink(const QString &target, const QString &link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0666) == 0;
}

bool runWithFileSizeLimit(qint64 bytes, const std::function<bool()> &work)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit {rlim_t(bytes), rlim_t(bytes)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(work() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool readOnlyForPlayers(const QString &path)
{
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    return ::stat(native.constData(), &st) == 0 && ::chmod(native.constData(), S_ISDIR(st.st_mode) ? 0555 : 0444) == 0;
}

bool runAsPlayer(const std::function<QByteArray()> &work, QByteArray *said)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return false;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        const passwd *nobody = ::getpwnam("nobody");
        if (::getuid() == 0 && (!nobody || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0))
            ::_exit(2);
        const QByteArray result = work();
        ::_exit(::write(pipeEnds[1], result.constData(), size_t(result.size())) == result.size() ? 0 : 3);
    }
    ::close(pipeEnds[1]);
    said->clear();
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        said->append(buffer, n);
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace OsFiles
