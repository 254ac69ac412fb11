// What the record-store tests set up on disk, as each system does it.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

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
// Runs `work` in a child whose writes stop after `bytes`, as on a full disk; true when
// it returned true. False where the system has no such limit (Windows).
bool runWithFileSizeLimit(qint64 bytes, const std::function<bool()> &work);

// Every user may read it (and enter it, for a folder), none may write it.
bool readOnlyForPlayers(const QString &path);
// Runs `work` in a child process as a player, not as the administrator the tests run
// as; true, with what it returned in `said`, when it ran. False where there is no
// second user to switch to (Windows under test).
bool runAsPlayer(const std::function<QByteArray()> &work, QByteArray *said);

} // namespace OsFiles
