#include "platform/records/recordfiles.h"

#include <emscripten.h>

// Each tab of a browser holds its own copy of the record folder, and emscripten's flock
// always succeeds. The page takes the browser's lock on the record instead (shared by
// the tabs of one profile) and, holding it, reads in what another tab stored before it
// goes on; recordfolderweb.js stores what was written, then lets go, when the file is
// closed.
EM_ASYNC_JS(int, contadopo_lock_record, (int fd, int exclusive, int msecs), {
    return await Module.contadopoLockRecord(fd, exclusive, msecs);
});

namespace RecordFiles {

bool lock(const Handle &file, bool exclusive, int msecs)
{
    return file.valid() && contadopo_lock_record(static_cast<int>(file.native()), exclusive, msecs) != 0;
}

} // namespace RecordFiles
