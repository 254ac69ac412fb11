#pragma once

#include "platform/platform.h"

#include <QByteArray>
#include <QString>

// Careful file access for a folder every user of the machine shares: no symbolic
// link or reparse point is followed, nothing but a regular file is read or written,
// reads are bounded, and nothing blocks on a FIFO. One implementation per system.
namespace RecordFiles {

inline constexpr qint64 kMaxBytes = 64 * 1024;

// Record files are UTF-8; anything else is taken as Windows-1252, as older copies wrote.
QString decode(const QByteArray &bytes);

// The machine-wide folder of the record files, ending with a separator.
QString machineFolder();

// A path as the system writes it: its own separators, nothing doubled.
QString nativePath(const QString &path);

// An owned file descriptor or Windows handle (both -1 when none), or the reason
// (Italian) why there is none.
class Handle
{
public:
    Handle() = default;
    explicit Handle(qintptr native) : m_native(native) {}
    Handle(Handle &&other) noexcept : error(std::move(other.error)), m_native(other.release()) {}
    Handle &operator=(Handle &&other) noexcept;
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    ~Handle();

    qintptr native() const { return m_native; }
    bool valid() const { return m_native != -1; }
    qintptr release();

    QString error;

private:
    qintptr m_native = -1;
};

enum class Access { Read, ReadWrite, WriteCreate };

// The folder itself, never through a link; made (0755) when missing and `create`.
Handle openFolder(const QString &folder, bool create);
// A file inside an opened folder; a file made here is readable and writable by every
// user (mode 0666 whatever the umask; on Windows, by Everyone).
Handle openInFolder(const Handle &folder, const QString &name, Access access);

struct Bytes {
    QByteArray bytes;
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// The whole content, or an error when the file is larger than `limit`.
Bytes readBytes(const Handle &file, qint64 limit = kMaxBytes);
ReadResult readAll(const Handle &file);
// Replaces the content in place: written from the start, cut to length; not synced.
QString writeContent(const Handle &file, const QByteArray &content);
// Waits until what was written to the file is on the disk.
QString sync(const Handle &file);
// writeContent, then sync.
QString replaceContent(const Handle &file, const QByteArray &content);

// Waits in the kernel for the file's lock (shared or exclusive) for up to `msecs`;
// false when someone else still holds it then. The lock lasts until the handle is
// closed; a handle whose lock timed out is closed, never locked again.
bool lock(const Handle &file, bool exclusive, int msecs);

// A whole file named by path, with the same care as the record files.
ReadResult readTextFile(const QString &path);

} // namespace RecordFiles
