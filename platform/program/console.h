#pragma once

// Where --version and --help write. A Windows window program has no console of its own:
// it borrows the console of the cmd or PowerShell that started it, unless its output goes
// to a file or a pipe already. A terminal program elsewhere has nothing to do.
namespace Console {
#ifdef _WIN32
void useParentConsole();
#else
inline void useParentConsole() {}
#endif
} // namespace Console
