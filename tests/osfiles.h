// What the record-store tests set up on disk, as each system does it.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

namespace OsFiles {

// Files and folders made from now on get the usual modes (umask 022 on Linux).
void useUsualCreationMode();
// Every user of the machine may write it: mode 0666 on Linux, Everyone or Users
// allowed to write on Windows.
bool everyUserMayWrite(const QString &path);
// Leaves only its owner (Linux) or the administrators (Windows) writing it.
bool restrictWriting(const QString &path);
// A symbolic link at `link`; false when the system made none.
bool makeLink(const QString &target, const QString &link);
// False where folders hold no FIFOs (Windows).
bool makeFifo(const QString &path);

// A call the record code made on a file or folder under a traced folder.
struct FileCall {
    enum Kind { MakeFolder, MakeFile, Link, Chmod, Write, Truncate, Sync, SyncFolder } kind;
    QString path;
    qint64 at = 0; // a write's offset, a truncation's length, a mode
    QByteArray data; // what was written; for a link, the path (UTF-8) of what it names
};
// Traces this process's calls on what lies under `root` (mkdir, openat that makes a file,
// linkat, fchmod, pwrite, ftruncate, fsync) until takeTrace(). The write, truncation or sync numbered
// `failFrom` (from 0), and every later one when `onward`, fails with EIO instead of
// running, as on a failing disk. False where there is no such layer (Windows).
bool startTrace(const QString &root, int failFrom = -1, bool onward = false);
std::vector<FileCall> takeTrace();

// Every user may read it (and enter it, for a folder), none may write it.
bool readOnlyForPlayers(const QString &path);
// Runs `work` in a child process as a player, not as the administrator the tests run
// as; true, with what it returned in `said`, when it ran. False where there is no
// second user to switch to (Windows under test).
bool runAsPlayer(const std::function<QByteArray()> &work, QByteArray *said);

} // namespace OsFiles
