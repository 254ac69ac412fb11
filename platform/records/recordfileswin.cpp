#include "platform/records/recordfilesnative.h"

#include "platform/platformtexts.h"

#include <QDeadlineTimer>
#include <QDir>

#include <algorithm>

#include <windows.h>
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

namespace RecordFiles {

using Native::failed;

namespace {

HANDLE win(const Handle &h)
{
    return reinterpret_cast<HANDLE>(h.native());
}

Handle owned(HANDLE h)
{
    return Handle(reinterpret_cast<qintptr>(h));
}

const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

QString reasonFor(DWORD err)
{
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, err, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString reason = text ? QString::fromWCharArray(text).trimmed() : QString();
    LocalFree(text);
    // It goes inside a sentence of ours, which ends with its own full stop.
    if (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    return reason.isEmpty() ? QStringLiteral("errore %1 di Windows").arg(err) : reason;
}

// The name itself, never what a link or reparse point there leads to. Not shared for
// deleting, so the name cannot be moved away while it is open.
HANDLE openItself(const QString &path, DWORD access, DWORD disposition, DWORD flags,
                  SECURITY_ATTRIBUTES *security = nullptr)
{
    return CreateFileW(wide(path), access, FILE_SHARE_READ | FILE_SHARE_WRITE, security, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | flags, nullptr);
}

DWORD attributesOf(HANDLE h)
{
    BY_HANDLE_FILE_INFORMATION info {};
    return GetFileInformationByHandle(h, &info) ? info.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

Handle checkedRegular(HANDLE raw, const QString &path)
{
    if (raw == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        // A folder cannot be opened as a file at all.
        const DWORD attributes = GetFileAttributesW(wide(path));
        if (err == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES
            && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return failed(PlatformTexts::kReasonNotRegular);
        return failed(reasonFor(err));
    }
    Handle h = owned(raw);
    const DWORD attributes = attributesOf(raw);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return failed(reasonFor(GetLastError()));
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return failed(PlatformTexts::kReasonLink);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) || GetFileType(raw) != FILE_TYPE_DISK)
        return failed(PlatformTexts::kReasonNotRegular);
    return h;
}

// Where the opened folder really is, so a file in it is found there and nowhere else.
QString pathOf(HANDLE folder)
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetFinalPathNameByHandleW(folder, buffer.data(), DWORD(buffer.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0)
            return {};
        if (n < buffer.size())
            return QString::fromWCharArray(buffer.data(), int(n));
        buffer.resize(n + 1);
    }
}

OVERLAPPED at(qint64 offset)
{
    OVERLAPPED where {};
    where.Offset = DWORD(offset & 0xFFFFFFFF);
    where.OffsetHigh = DWORD(offset >> 32);
    return where;
}

// Windows locks are mandatory: one on the content would stop every reader of the
// file. The copies lock a single byte far beyond any content instead, so the lock
// is one between copies of the game only, as on Linux.
constexpr qint64 kLockOffset = qint64(0x7FFFFFFF) << 32;

bool lockByte(HANDLE file, DWORD flags)
{
    OVERLAPPED where = at(kLockOffset);
    return LockFileEx(file, flags, 0, 1, 0, &where) != FALSE;
}

} // namespace

QString machineFolder()
{
    // Not under the Windows folder: a user who may not write there is silently given
    // a copy of his own, and the class would no longer share one record.
    QString folder;
    wchar_t *programData = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &programData)))
        folder = QString::fromWCharArray(programData);
    CoTaskMemFree(programData);
    if (folder.isEmpty())
        folder = qEnvironmentVariable("ProgramData", QStringLiteral("C:\\ProgramData"));
    return QDir::fromNativeSeparators(folder) + QStringLiteral("/Contadopo/");
}

Handle::~Handle()
{
    if (valid())
        CloseHandle(win(*this));
}

Handle openFolder(const QString &folder, bool create)
{
    const QString path = nativePath(folder);
    const auto open = [&] { return openItself(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS); };
    HANDLE h = open();
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND && create) {
        if (!CreateDirectoryW(wide(path), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return failed(reasonFor(GetLastError()));
        h = open();
    }
    if (h == INVALID_HANDLE_VALUE)
        return failed(reasonFor(GetLastError()));
    Handle opened = owned(h);
    const DWORD attributes = attributesOf(h);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return failed(reasonFor(GetLastError()));
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return failed(PlatformTexts::kReasonFolderLink.arg(path));
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return failed(PlatformTexts::kReasonNotFolder);
    return opened;
}

Handle openInFolder(const Handle &folder, const QString &name, Access access)
{
    if (!folder.valid())
        return failed(folder.error);
    const QString folderPath = pathOf(win(folder));
    if (folderPath.isEmpty())
        return failed(reasonFor(GetLastError()));
    const QString path = folderPath + QLatin1Char('\\') + name;
    const DWORD rights = access == Access::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    if (access != Access::WriteCreate)
        return checkedRegular(openItself(path, rights, OPEN_EXISTING, 0), path);

    // Every user shares the record, so a new file must be writable by all of them.
    PSECURITY_DESCRIPTOR everyone = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFW;;;WD)",
                                                         SDDL_REVISION_1, &everyone, nullptr);
    SECURITY_ATTRIBUTES security {sizeof(SECURITY_ATTRIBUTES), everyone, FALSE};
    HANDLE h = openItself(path, rights | WRITE_DAC, CREATE_NEW, 0, everyone ? &security : nullptr);
    const DWORD err = GetLastError();
    // Set once more on the new file, as fchmod does on Linux: Wine drops the one
    // given at creation.
    if (h != INVALID_HANDLE_VALUE && everyone)
        SetKernelObjectSecurity(h, DACL_SECURITY_INFORMATION, everyone);
    LocalFree(everyone);
    const bool created = h != INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE && err == ERROR_FILE_EXISTS)
        h = openItself(path, rights, OPEN_EXISTING, 0);
    else
        SetLastError(err);
    Handle file = checkedRegular(h, path);
    // NTFS logs a new name with the file's other metadata; flushing the file writes
    // both, so nothing relies on a file a power cut could take back.
    if (created && file.valid()) {
        if (const QString error = sync(file); !error.isEmpty())
            return failed(error);
    }
    return file;
}

qint64 Native::readAt(const Handle &file, qint64 offset, char *buffer, qint64 size, QString &error)
{
    OVERLAPPED where = at(offset);
    DWORD n = 0;
    if (ReadFile(win(file), buffer, DWORD(size), &n, &where))
        return n;
    if (GetLastError() == ERROR_HANDLE_EOF)
        return 0;
    error = reasonFor(GetLastError());
    return -1;
}

qint64 Native::writeAt(const Handle &file, qint64 offset, const char *data, qint64 size, QString &error)
{
    OVERLAPPED where = at(offset);
    DWORD n = 0;
    if (WriteFile(win(file), data, DWORD(std::min<qint64>(size, 1 << 20)), &n, &where))
        return n;
    error = reasonFor(GetLastError());
    return -1;
}

QString Native::setLength(const Handle &file, qint64 size)
{
    LARGE_INTEGER end {};
    end.QuadPart = size;
    if (!SetFilePointerEx(win(file), end, nullptr, FILE_BEGIN) || !SetEndOfFile(win(file)))
        return reasonFor(GetLastError());
    return {};
}

QString sync(const Handle &file)
{
    if (!file.valid())
        return file.error;
    return FlushFileBuffers(win(file)) ? QString() : reasonFor(GetLastError());
}

bool lock(const Handle &file, bool exclusive, int msecs)
{
    if (!file.valid())
        return false;
    // Asked again and again, not waited on: under Wine a waiting LockFileEx was seen
    // never to return once the lock was free, and the copy waiting hung until it gave up.
    const DWORD flags = (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY;
    const QDeadlineTimer deadline(msecs);
    for (DWORD pause = 1;; pause = std::min<DWORD>(pause * 2, 20)) {
        if (lockByte(win(file), flags))
            return true;
        if (GetLastError() != ERROR_LOCK_VIOLATION || deadline.hasExpired())
            return false;
        Sleep(pause);
    }
}

ReadResult readTextFile(const QString &path)
{
    const QString native = nativePath(path);
    return readAll(checkedRegular(openItself(native, GENERIC_READ, OPEN_EXISTING, 0), native));
}

} // namespace RecordFiles
