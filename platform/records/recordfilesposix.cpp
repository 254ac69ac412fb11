#include "platform/records/recordfilesnative.h"

#include "platform/platformtexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RecordFiles {

using Native::failed;

namespace {

QString reasonFor(int err)
{
    if (err == ELOOP || err == EMLINK)
        return PlatformTexts::kReasonLink;
    return QString::fromLocal8Bit(std::strerror(err));
}

// A regular file only, and back to blocking I/O once that is known.
Handle checkedRegular(int fd)
{
    Handle h(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return failed(reasonFor(errno));
    if (!S_ISREG(st.st_mode))
        return failed(PlatformTexts::kReasonNotRegular);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return h;
}
int descriptor(const Handle &h)
{
    return int(h.native());
}

} // namespace

QString machineFolder()
{
    QString dir = QString::fromUtf8(CONTADOPO_RECORD_DIR);
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

Handle::~Handle()
{
    if (valid())
        ::close(descriptor(*this));
}

Handle openFolder(const QString &folder, bool create)
{
    QString path = folder;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QByteArray native = QFile::encodeName(path);
    int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && create) {
        if (::mkdir(native.constData(), 0755) == 0) {
            // The new folder's name lasts a power cut only once its parent is synced.
            const Handle parent(::open(QFile::encodeName(QFileInfo(path).path()).constData(),
                                       O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!parent.valid() || ::fsync(descriptor(parent)) != 0)
                return failed(reasonFor(errno));
        } else if (errno != EEXIST) {
            return failed(reasonFor(errno));
        }
        fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) {
        const int err = errno;
        struct stat st {};
        if ((err == ENOTDIR || err == ELOOP) && ::lstat(native.constData(), &st) == 0 && S_ISLNK(st.st_mode))
            return failed(PlatformTexts::kReasonFolderLink.arg(QDir::cleanPath(path)));
        return failed(err == ENOTDIR ? PlatformTexts::kReasonNotFolder : reasonFor(err));
    }
    return Handle(fd);
}

namespace {
// Closes it, keeping the reason it failed: -1.
int closed(int fd)
{
    const int err = errno;
    ::close(fd);
    errno = err;
    return -1;
}

// A new file, open to every user (mode 0666 whatever the umask) and synced, then named,
// then its folder synced: no kill or power cut leaves a file by that name that only its
// maker may write, or takes back a name. Where no unnamed file can be made and linked
// (a file system without them, no /proc), it is named first. -1 with errno (EEXIST: the
// name is taken) when none was made.
int madeShared(int folder, const char *name, int flags)
{
    const int unnamed = ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (unnamed >= 0) {
        ::fchmod(unnamed, 0666);
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(unnamed);
        if (::fsync(unnamed) == 0 && ::linkat(AT_FDCWD, self.constData(), folder, name, AT_SYMLINK_FOLLOW) == 0)
            return ::fsync(folder) == 0 ? unnamed : closed(unnamed);
        closed(unnamed);
        if (errno == EEXIST)
            return -1;
    }
    const int fd = ::openat(folder, name, flags | O_CREAT | O_EXCL, 0666);
    if (fd < 0)
        return -1;
    ::fchmod(fd, 0666);
    return ::fsync(fd) == 0 && ::fsync(folder) == 0 ? fd : closed(fd);
}
} // namespace

Handle openInFolder(const Handle &folder, const QString &name, Access access)
{
    if (!folder.valid())
        return failed(folder.error);
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (access == Access::Read ? O_RDONLY : O_RDWR);
    const QByteArray native = QFile::encodeName(name);
    int fd = ::openat(descriptor(folder), native.constData(), flags);
    if (fd < 0 && errno == ENOENT && access == Access::WriteCreate) {
        fd = madeShared(descriptor(folder), native.constData(), flags);
        if (fd < 0 && errno == EEXIST)
            fd = ::openat(descriptor(folder), native.constData(), flags);
    }
    if (fd < 0)
        return failed(reasonFor(errno));
    return checkedRegular(fd);
}

namespace {
// A read or write that a signal cut short is simply made again.
template <typename Call>
qint64 retried(Call call, QString &error)
{
    for (;;) {
        const ssize_t n = call();
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            error = reasonFor(errno);
            return -1;
        }
    }
}
} // namespace

qint64 Native::readAt(const Handle &file, qint64 offset, char *buffer, qint64 size, QString &error)
{
    return retried([&] { return ::pread(descriptor(file), buffer, size_t(size), off_t(offset)); }, error);
}

qint64 Native::writeAt(const Handle &file, qint64 offset, const char *data, qint64 size, QString &error)
{
    return retried([&] { return ::pwrite(descriptor(file), data, size_t(size), off_t(offset)); }, error);
}

QString Native::setLength(const Handle &file, qint64 size)
{
    return ::ftruncate(descriptor(file), off_t(size)) == 0 ? QString() : reasonFor(errno);
}

QString sync(const Handle &file)
{
    if (!file.valid())
        return file.error;
    return ::fsync(descriptor(file)) == 0 ? QString() : reasonFor(errno);
}

#ifndef __EMSCRIPTEN__
namespace {

bool lockWithDeadline(const std::function<bool()> &blockingLock,
                      const std::function<void(bool lateLock)> &done, int msecs)
{
    // The system's lock calls wait without a deadline of their own. A timer signal
    // would have to reach this very thread in a program where Qt and the sound run
    // threads of their own, and one that lands just before the call is lost. So the
    // call waits in a thread of its own on a duplicate of the handle (same open file,
    // so the same lock) while we wait for it with a deadline.
    struct Waiter {
        std::mutex mutex;
        std::condition_variable finished;
        bool returned = false;
        bool locked = false;
        bool abandoned = false;
    };
    auto waiter = std::make_shared<Waiter>();
    try {
        std::thread([waiter, blockingLock, done] {
            const bool locked = blockingLock();
            const std::lock_guard<std::mutex> guard(waiter->mutex);
            done(locked && waiter->abandoned);
            waiter->returned = true;
            waiter->locked = locked;
            waiter->finished.notify_all();
        }).detach();
    } catch (const std::system_error &) {
        done(false);
        return false;
    }
    std::unique_lock<std::mutex> guard(waiter->mutex);
    if (waiter->finished.wait_for(guard, std::chrono::milliseconds(msecs), [&] { return waiter->returned; }))
        return waiter->locked;
    waiter->abandoned = true;
    return false;
}

} // namespace

// A page's flock always succeeds: its lock is in recordlockweb.cpp.
bool lock(const Handle &file, bool exclusive, int msecs)
{
    if (!file.valid())
        return false;
    const int op = exclusive ? LOCK_EX : LOCK_SH;
    if (::flock(descriptor(file), op | LOCK_NB) == 0)
        return true;
    if (errno != EWOULDBLOCK && errno != EINTR)
        return false;

    const int duplicate = ::fcntl(descriptor(file), F_DUPFD_CLOEXEC, 0);
    if (duplicate < 0)
        return false;
    return lockWithDeadline(
        [duplicate, op] {
            int rc;
            do
                rc = ::flock(duplicate, op);
            while (rc != 0 && errno == EINTR);
            return rc == 0;
        },
        [duplicate](bool lateLock) {
            if (lateLock)
                ::flock(duplicate, LOCK_UN);
            ::close(duplicate);
        },
        msecs);
}
#endif

ReadResult readTextFile(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        ReadResult r;
        r.error = reasonFor(errno);
        return r;
    }
    return readAll(checkedRegular(fd));
}

} // namespace RecordFiles
