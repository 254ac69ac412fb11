#include "osfiles.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

namespace OsFiles {

namespace {
const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}
} // namespace

void useUsualCreationMode()
{
}

bool everyUserMayWrite(const QString &path)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    const QString name = native(path);
    if (GetNamedSecurityInfoW(wide(name), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &sd) != ERROR_SUCCESS)
        return false;
    PSID everyone = nullptr;
    PSID users = nullptr;
    ConvertStringSidToSidW(L"WD", &everyone);
    ConvertStringSidToSidW(L"BU", &users);
    bool writes = false;
    ACL_SIZE_INFORMATION size {};
    if (dacl && GetAclInformation(dacl, &size, sizeof size, AclSizeInformation)) {
        for (DWORD i = 0; i < size.AceCount; ++i) {
            void *ace = nullptr;
            if (!GetAce(dacl, i, &ace) || static_cast<ACE_HEADER *>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE)
                continue;
            auto *allowed = static_cast<ACCESS_ALLOWED_ACE *>(ace);
            PSID sid = &allowed->SidStart;
            const ACCESS_MASK mask = allowed->Mask;
            if ((EqualSid(sid, everyone) || EqualSid(sid, users))
                && (mask & (FILE_WRITE_DATA | GENERIC_WRITE | GENERIC_ALL)))
                writes = true;
        }
    }
    LocalFree(everyone);
    LocalFree(users);
    LocalFree(sd);
    return writes;
}

bool restrictWriting(const QString &path)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;BA)(A;;FR;;;WD)", SDDL_REVISION_1,
                                                              &sd, nullptr))
        return false;
    const bool done = SetFileSecurityW(wide(native(path)), DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
    return done;
}

bool makeLink(const QString &target, const QString &link)
{
    // Wine says yes and makes nothing: only a reparse point that is there counts.
    const DWORD folder = QFileInfo(target).isDir() ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
    CreateSymbolicLinkW(wide(native(link)), wide(native(target)), folder | 0x2 /* unprivileged */);
    const DWORD attributes = GetFileAttributesW(wide(native(link)));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool foldersHoldFifos()
{
    return false;
}

bool makeFifo(const QString &)
{
    return false;
}

bool runWithFileSizeLimit(qint64, const std::function<bool()> &)
{
    return false;
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
