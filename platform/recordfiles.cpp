#include "platform/recordfiles.h"

#include "platform/platformtexts.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RecordFiles {

namespace {

QString reasonFor(int err)
{
    if (err == ELOOP || err == EMLINK)
        return PlatformTexts::kReasonLink;
    return QString::fromLocal8Bit(std::strerror(err));
}

Handle failed(const QString &reason)
{
    Handle h;
    h.error = reason;
    return h;
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

const char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

} // namespace

Handle &Handle::operator=(Handle &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
        error = std::move(other.error);
    }
    return *this;
}

Handle::~Handle()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int Handle::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

QString decode(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    text.clear();
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text.append(b >= 0x80 && b < 0xA0 ? QChar(kCp1252High[b - 0x80]) : QChar(b));
    }
    return text;
}

Handle openFolder(const QString &folder, bool create)
{
    QString path = folder;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QByteArray native = QFile::encodeName(path);
    int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && create) {
        if (::mkdir(native.constData(), 0755) != 0 && errno != EEXIST)
            return failed(reasonFor(errno));
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

Handle openInFolder(const Handle &folder, const QString &name, Access access)
{
    if (!folder.valid())
        return failed(folder.error);
    int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    switch (access) {
    case Access::Read:
        flags |= O_RDONLY;
        break;
    case Access::ReadWrite:
        flags |= O_RDWR;
        break;
    case Access::WriteCreate:
        flags |= O_RDWR | O_CREAT | O_EXCL;
        break;
    }
    const QByteArray native = QFile::encodeName(name);
    int fd = ::openat(folder.fd(), native.constData(), flags, 0666);
    const bool created = fd >= 0 && access == Access::WriteCreate;
    if (fd < 0 && access == Access::WriteCreate && errno == EEXIST)
        fd = ::openat(folder.fd(), native.constData(), (flags & ~(O_CREAT | O_EXCL)), 0666);
    if (fd < 0)
        return failed(reasonFor(errno));
    Handle h = checkedRegular(fd);
    // Every user shares the record, so a new file must be writable by all of them.
    if (h.valid() && created)
        ::fchmod(h.fd(), 0666);
    return h;
}

Bytes readBytes(const Handle &file, qint64 limit)
{
    Bytes r;
    if (!file.valid()) {
        r.error = file.error;
        return r;
    }
    char buffer[4096];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(file.fd(), buffer, sizeof buffer, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            r.error = reasonFor(errno);
            return r;
        }
        if (n == 0)
            break;
        r.bytes.append(buffer, n);
        offset += n;
        if (r.bytes.size() > limit) {
            r.bytes.clear();
            r.error = PlatformTexts::kReasonTooLarge;
            return r;
        }
    }
    return r;
}

ReadResult readAll(const Handle &file)
{
    const Bytes raw = readBytes(file);
    ReadResult r;
    r.error = raw.error;
    if (raw.ok())
        r.text = decode(raw.bytes);
    return r;
}

QString writeContent(const Handle &file, const QByteArray &content)
{
    if (!file.valid())
        return file.error;
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n = ::pwrite(file.fd(), content.constData() + done, size_t(content.size() - done), off_t(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return reasonFor(errno);
        }
        done += n;
    }
    if (::ftruncate(file.fd(), off_t(content.size())) != 0)
        return reasonFor(errno);
    return {};
}

QString sync(const Handle &file)
{
    if (!file.valid())
        return file.error;
    return ::fsync(file.fd()) == 0 ? QString() : reasonFor(errno);
}

QString replaceContent(const Handle &file, const QByteArray &content)
{
    const QString error = writeContent(file, content);
    return error.isEmpty() ? sync(file) : error;
}

bool lock(const Handle &file, bool exclusive, int msecs)
{
    if (!file.valid())
        return false;
    const int op = exclusive ? LOCK_EX : LOCK_SH;
    if (::flock(file.fd(), op | LOCK_NB) == 0)
        return true;
    if (errno != EWOULDBLOCK && errno != EINTR)
        return false;

    // flock has no deadline of its own. A timer signal would have to reach this very
    // thread in a program where Qt and the sound library run threads of their own,
    // and one that lands just before the call is lost. So the blocking call runs in a
    // short-lived thread on a duplicate descriptor (same open file, so the same lock)
    // while we wait for it with a deadline; a late one lets go of the lock at once.
    struct Waiter {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool locked = false;
        bool abandoned = false;
    };
    const int duplicate = ::fcntl(file.fd(), F_DUPFD_CLOEXEC, 0);
    if (duplicate < 0)
        return false;
    auto waiter = std::make_shared<Waiter>();
    try {
        std::thread([waiter, duplicate, op] {
            int rc;
            do
                rc = ::flock(duplicate, op);
            while (rc != 0 && errno == EINTR);
            const std::lock_guard<std::mutex> guard(waiter->mutex);
            if (rc == 0 && waiter->abandoned)
                ::flock(duplicate, LOCK_UN);
            ::close(duplicate);
            waiter->finished = true;
            waiter->locked = rc == 0;
            waiter->done.notify_all();
        }).detach();
    } catch (const std::system_error &) {
        ::close(duplicate);
        return false;
    }
    std::unique_lock<std::mutex> guard(waiter->mutex);
    if (waiter->done.wait_for(guard, std::chrono::milliseconds(msecs), [&] { return waiter->finished; }))
        return waiter->locked;
    waiter->abandoned = true;
    return false;
}

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
