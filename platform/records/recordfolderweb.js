// The record folder of the page: kept in the browser's IndexedDB, for everyone using
// this browser profile. It is read in before the program starts, and every change is
// written back on its own (the two record files and the journal, as on a desktop).
// Runs inside the module before it starts; the folder's path comes from the build.
Module['preRun'] = [].concat(Module['preRun'] || [], function() {
    var folder = '@CONTADOPO_RECORD_DIR@';
    FS.mkdirTree(folder);
    var mount = FS.mount(IDBFS, { autoPersist: true }, folder).mount;
    addRunDependency('contadopo-records');
    FS.syncfs(true, function(error) {
        // Storage the browser refuses (some private windows) leaves an empty record.
        if (error)
            console.warn('Contadopo: record storage unavailable, playing with an empty record');
        removeRunDependency('contadopo-records');
    });

    // The record's lock, across the tabs of this browser profile, for the file
    // descriptor that asked for it: a tab that gets it first waits for its own writes to
    // be stored, then reads in what other tabs stored, and only then goes on. Closing
    // the descriptor stores what this tab wrote, then lets the lock go.
    var held = {};
    var stored = function() {
        return new Promise(function(done) {
            (function wait() { mount.idbPersistState ? setTimeout(wait, 5) : done(); })();
        });
    };
    var sync = function(populate) {
        return new Promise(function(done) { IDBFS.syncfs(mount, populate, function() { done(); }); });
    };
    Module.contadopoLockRecord = async function(fd, exclusive, msecs) {
        if (!navigator.locks) {
            // Without the Web Locks API (a page not served over https): no lock across
            // tabs, but at least what they stored.
            await stored();
            await sync(true);
            return 1;
        }
        var release;
        var until = new Promise(function(done) { release = done; });
        var patience = new AbortController();
        var timer = setTimeout(function() { patience.abort(); }, msecs);
        try {
            await new Promise(function(granted, refused) {
                navigator.locks.request('contadopo-record', { mode: exclusive ? 'exclusive' : 'shared',
                                                              signal: patience.signal },
                                        function() { granted(); return until; }).catch(refused);
            });
        } catch (e) {
            return 0;
        } finally {
            clearTimeout(timer);
        }
        held[fd] = release;
        await stored();
        await sync(true);
        return 1;
    };
    var close = FS.close;
    FS.close = function(stream) {
        var release = held[stream.fd];
        delete held[stream.fd];
        var result = close(stream);
        if (release)
            stored().then(function() { return sync(false); }).then(stored).then(release);
        return result;
    };
});
