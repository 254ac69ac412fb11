// The record folder of the page: kept in the browser's IndexedDB, for everyone using
// this browser profile. It is read in before the program starts, and every change is
// written back on its own (the two record files and the journal, as on a desktop).
// Runs inside the module before it starts; the folder's path comes from the build.
Module['preRun'] = [].concat(Module['preRun'] || [], function() {
    var folder = '@CONTADOPO_RECORD_DIR@';
    FS.mkdirTree(folder);
    FS.mount(IDBFS, { autoPersist: true }, folder);
    addRunDependency('contadopo-records');
    FS.syncfs(true, function(error) {
        // Storage the browser refuses (some private windows) leaves an empty record.
        if (error)
            console.warn('Contadopo: record storage unavailable, playing with an empty record');
        removeRunDependency('contadopo-records');
    });
});
