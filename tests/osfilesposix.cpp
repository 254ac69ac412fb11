// The calls traced below are defined here under their own names, which a fortified
// build would have made inline wrappers.
#undef _FORTIFY_SOURCE
#include "osfiles.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
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

// The record code is linked into the test program, so the definitions below stand in
// front of the C library's for its calls (and Qt's): each hands the call on, and notes
// the ones on what lies under the traced root.
namespace {

struct Trace {
    bool on = false;
    QByteArray root;
    int failFrom = -1;
    bool onward = false;
    int changes = 0;
    std::vector<OsFiles::FileCall> calls;
} trace;

#define REAL(name) static const auto real = reinterpret_cast<decltype(&::name)>(::dlsym(RTLD_NEXT, #name))

// Where an open descriptor leads, when that is under the traced root.
QByteArray tracedPath(int fd)
{
    char path[4096];
    const ssize_t n = trace.on ? ::readlink(("/proc/self/fd/" + QByteArray::number(fd)).constData(), path, sizeof path) : -1;
    const QByteArray found = n > 0 ? QByteArray(path, n) : QByteArray();
    return found == trace.root || found.startsWith(trace.root + '/') ? found : QByteArray();
}

void note(OsFiles::FileCall::Kind kind, const QByteArray &path, qint64 at = 0, const QByteArray &data = {})
{
    if (!path.isEmpty())
        trace.calls.push_back({kind, QFile::decodeName(path), at, data});
}

// A write, truncation or sync on a traced file: made to fail with EIO when the test asks,
// else run and noted.
template <typename Call>
auto changing(int fd, OsFiles::FileCall::Kind kind, qint64 at, const char *data, Call call)
{
    const QByteArray path = tracedPath(fd);
    const int n = path.isEmpty() ? -1 : trace.changes++;
    if (n >= 0 && trace.failFrom >= 0 && (n == trace.failFrom || (n > trace.failFrom && trace.onward))) {
        errno = EIO;
        return decltype(call())(-1);
    }
    const auto rc = call();
    if (rc >= 0)
        note(kind, path, at, data ? QByteArray(data, rc) : QByteArray());
    return rc;
}

} // namespace

extern "C" ssize_t pwrite(int fd, const void *data, size_t size, off_t at)
{
    REAL(pwrite);
    return changing(fd, OsFiles::FileCall::Write, at, static_cast<const char *>(data), [&] { return real(fd, data, size, at); });
}

extern "C" int ftruncate(int fd, off_t length)
{
    REAL(ftruncate);
    return changing(fd, OsFiles::FileCall::Truncate, length, nullptr, [&] { return real(fd, length); });
}

extern "C" int fsync(int fd)
{
    REAL(fsync);
    struct stat st {};
    const bool folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    return changing(fd, folder ? OsFiles::FileCall::SyncFolder : OsFiles::FileCall::Sync, 0, nullptr, [&] { return real(fd); });
}

extern "C" int fchmod(int fd, mode_t mode)
{
    REAL(fchmod);
    const int rc = real(fd, mode);
    note(OsFiles::FileCall::Chmod, rc == 0 ? tracedPath(fd) : QByteArray(), mode);
    return rc;
}

extern "C" int openat(int folder, const char *name, int flags, ...)
{
    REAL(openat);
    va_list rest;
    va_start(rest, flags);
    const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
    const mode_t mode = (flags & O_CREAT) || unnamed ? va_arg(rest, mode_t) : 0;
    va_end(rest);
    struct stat st {};
    const bool making = unnamed || ((flags & O_CREAT) && ::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0);
    const int fd = real(folder, name, flags, mode);
    note(OsFiles::FileCall::MakeFile, making && fd >= 0 ? tracedPath(fd) : QByteArray());
    return fd;
}

extern "C" int linkat(int fromFolder, const char *from, int toFolder, const char *to, int flags)
{
    REAL(linkat);
    char source[4096];
    const ssize_t n = trace.on ? ::readlink(from, source, sizeof source) : -1;
    const int rc = real(fromFolder, from, toFolder, to, flags);
    const QByteArray folder = rc == 0 && n > 0 ? tracedPath(toFolder) : QByteArray();
    note(OsFiles::FileCall::Link, folder.isEmpty() ? folder : folder + '/' + to, 0, QFile::decodeName(QByteArray(source, n)).toUtf8());
    return rc;
}

extern "C" int mkdir(const char *path, mode_t mode)
{
    REAL(mkdir);
    const int rc = real(path, mode);
    const QByteArray made = rc == 0 && trace.on ? QFile::encodeName(QFileInfo(QFile::decodeName(path)).canonicalFilePath()) : QByteArray();
    note(OsFiles::FileCall::MakeFolder, made.startsWith(trace.root + '/') ? made : QByteArray());
    return rc;
}

namespace OsFiles {

bool startTrace(const QString &root, int failFrom, bool onward)
{
    trace = Trace{true, QFile::encodeName(QFileInfo(root).canonicalFilePath()), failFrom, onward, 0, {}};
    return true;
}

std::vector<FileCall> takeTrace()
{
    trace.on = false;
    return std::move(trace.calls);
}

} // namespace OsFiles
