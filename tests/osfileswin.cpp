#include "osfiles.h"
#include "platform/records/recordfiles.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

namespace OsFiles {

namespace {
const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}
} // namespace

void useUsualCreationMode()
{
}

bool everyUserMayWrite(const QString &path)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    wchar_t *text = nullptr;
    if (GetNamedSecurityInfoW(wide(RecordFiles::nativePath(path)), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                              nullptr, &sd) != ERROR_SUCCESS)
        return false;
    ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr);
    const QString dacl = text ? QString::fromWCharArray(text) : QString();
    LocalFree(text);
    LocalFree(sd);
    // An entry allowing Everyone (WD) or Users (BU) all or write rights, by name or as a mask.
    const QRegularExpression everyUser(QStringLiteral("\\(A;[^;]*;([^;]*);;;(WD|BU)\\)"));
    for (const QRegularExpressionMatch &ace : everyUser.globalMatch(dacl)) {
        const QString rights = ace.captured(1);
        if (rights.contains(QRegularExpression(QStringLiteral("FA|FW|GA|GW"))) || (rights.toUInt(nullptr, 0) & FILE_WRITE_DATA))
            return true;
    }
    return false;
}

bool restrictWriting(const QString &path)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;BA)(A;;FR;;;WD)", SDDL_REVISION_1,
                                                              &sd, nullptr))
        return false;
    const bool done = SetFileSecurityW(wide(RecordFiles::nativePath(path)), DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
    return done;
}

bool makeLink(const QString &target, const QString &link)
{
    // Wine says yes and makes nothing: only a reparse point that is there counts.
    const DWORD folder = QFileInfo(target).isDir() ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
    CreateSymbolicLinkW(wide(RecordFiles::nativePath(link)), wide(RecordFiles::nativePath(target)), folder | 0x2 /* unprivileged */);
    const DWORD attributes = GetFileAttributesW(wide(RecordFiles::nativePath(link)));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool makeFifo(const QString &)
{
    return false;
}

bool startTrace(const QString &, int, bool)
{
    return false;
}

std::vector<FileCall> takeTrace()
{
    return {};
}

bool readOnlyForPlayers(const QString &)
{
    return false;
}

bool runAsPlayer(const std::function<QByteArray()> &, QByteArray *)
{
    return false;
}

} // namespace OsFiles
