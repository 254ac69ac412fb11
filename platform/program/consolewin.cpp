#include "platform/program/console.h"

#include <windows.h>

#include <cstdio>

namespace Console {

void useParentConsole()
{
    // A handle the parent gave (a file, a pipe) already works; only a missing one is sent
    // to the parent's console.
    const auto missing = [](DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE || GetFileType(handle) == FILE_TYPE_UNKNOWN;
    };
    const bool out = missing(STD_OUTPUT_HANDLE);
    const bool err = missing(STD_ERROR_HANDLE);
    if ((!out && !err) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (out)
        std::freopen("CONOUT$", "w", stdout);
    if (err)
        std::freopen("CONOUT$", "w", stderr);
}

} // namespace Console
