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
};
Trace trace;

template <typename Function>
Function next(const char *name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

// Where an open descriptor leads, when something is being traced.
QByteArray tracedPath(int fd)
{
    char path[4096];
    const ssize_t n = trace.on ? ::readlink(("/proc/self/fd/" + QByteArray::number(fd)).constData(), path, sizeof path) : -1;
    const QByteArray found = n > 0 ? QByteArray(path, n) : QByteArray();
    return found == trace.root || found.startsWith(trace.root + '/') ? found : QByteArray();
}

void note(OsFiles::FileCall::Kind kind, const QByteArray &path, qint64 at = 0, QByteArray data = {})
{
    trace.calls.push_back({kind, QFile::decodeName(path), at, std::move(data)});
}

// Whether this write, truncation or sync is one the test makes fail.
bool failsNow()
{
    const int n = trace.changes++;
    if (trace.failFrom < 0 || n < trace.failFrom || (n > trace.failFrom && !trace.onward))
        return false;
    errno = EIO;
    return true;
}

} // namespace

extern "C" ssize_t pwrite(int fd, const void *data, size_t size, off_t at)
{
    static const auto real = next<ssize_t (*)(int, const void *, size_t, off_t)>("pwrite");
    const QByteArray path = tracedPath(fd);
    if (path.isEmpty())
        return real(fd, data, size, at);
    if (failsNow())
        return -1;
    const ssize_t n = real(fd, data, size, at);
    if (n > 0)
        note(OsFiles::FileCall::Write, path, at, QByteArray(static_cast<const char *>(data), n));
    return n;
}

extern "C" int ftruncate(int fd, off_t length)
{
    static const auto real = next<int (*)(int, off_t)>("ftruncate");
    const QByteArray path = tracedPath(fd);
    if (path.isEmpty())
        return real(fd, length);
    if (failsNow())
        return -1;
    const int rc = real(fd, length);
    if (rc == 0)
        note(OsFiles::FileCall::Truncate, path, length);
    return rc;
}

extern "C" int fsync(int fd)
{
    static const auto real = next<int (*)(int)>("fsync");
    const QByteArray path = tracedPath(fd);
    if (path.isEmpty())
        return real(fd);
    if (failsNow())
        return -1;
    struct stat st {};
    const int rc = real(fd);
    if (rc == 0 && ::fstat(fd, &st) == 0)
        note(S_ISDIR(st.st_mode) ? OsFiles::FileCall::SyncFolder : OsFiles::FileCall::Sync, path);
    return rc;
}

extern "C" int fchmod(int fd, mode_t mode)
{
    static const auto real = next<int (*)(int, mode_t)>("fchmod");
    const int rc = real(fd, mode);
    if (rc == 0 && !tracedPath(fd).isEmpty())
        note(OsFiles::FileCall::Chmod, tracedPath(fd), mode);
    return rc;
}

extern "C" int openat(int folder, const char *name, int flags, ...)
{
    static const auto real = next<int (*)(int, const char *, int, ...)>("openat");
    va_list rest;
    va_start(rest, flags);
    const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
    const mode_t mode = (flags & O_CREAT) || unnamed ? va_arg(rest, mode_t) : 0;
    va_end(rest);
    struct stat st {};
    const bool making = trace.on && (unnamed || ((flags & O_CREAT) && ::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0));
    const int fd = real(folder, name, flags, mode);
    if (making && fd >= 0 && !tracedPath(fd).isEmpty())
        note(OsFiles::FileCall::MakeFile, tracedPath(fd));
    return fd;
}

extern "C" int linkat(int fromFolder, const char *from, int toFolder, const char *to, int flags)
{
    static const auto real = next<int (*)(int, const char *, int, const char *, int)>("linkat");
    char source[4096];
    const ssize_t n = trace.on ? ::readlink(from, source, sizeof source) : -1;
    const int rc = real(fromFolder, from, toFolder, to, flags);
    const QByteArray folder = rc == 0 && n > 0 ? tracedPath(toFolder) : QByteArray();
    if (!folder.isEmpty())
        note(OsFiles::FileCall::Link, folder + '/' + to, 0, QFile::decodeName(QByteArray(source, n)).toUtf8());
    return rc;
}

extern "C" int mkdir(const char *path, mode_t mode)
{
    static const auto real = next<int (*)(const char *, mode_t)>("mkdir");
    const int rc = real(path, mode);
    const QByteArray made = rc == 0 && trace.on ? QFile::encodeName(QFileInfo(QFile::decodeName(path)).canonicalFilePath()) : QByteArray();
    if (made.startsWith(trace.root + '/'))
        note(OsFiles::FileCall::MakeFolder, made);
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
