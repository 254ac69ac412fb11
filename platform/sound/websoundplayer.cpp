#include "platform/sound/websoundplayer.h"

#include <QFile>

#include <emscripten.h>

// The page's cue state lives with the module: one audio context, the decoded cues by
// name, and the one cue playing, which the next one cuts off.
EM_JS(void, contadopo_cue_load, (const char *name, const char *data, int size), {
    var cues = Module.contadopoCues;
    if (!cues) {
        var Context = globalThis.AudioContext || globalThis.webkitAudioContext;
        if (!Context)
            return;
        cues = Module.contadopoCues = { context: new Context({ latencyHint: 'interactive' }), buffers: {}, playing: null };
        // Made before any gesture, the context waits suspended: any key starts it, so the
        // typed name has it running before the first answer.
        var wake = function() {
            if (cues.context.state !== 'running')
                cues.context.resume();
        };
        globalThis.addEventListener('keydown', wake, true);
        globalThis.addEventListener('pointerdown', wake, true);
    }
    var key = UTF8ToString(name);
    var bytes = HEAPU8.slice(data, data + size).buffer;
    cues.context.decodeAudioData(bytes).then(function(buffer) { cues.buffers[key] = buffer; },
                                             function() {});
});

EM_JS(void, contadopo_cue_play, (const char *name), {
    var cues = Module.contadopoCues;
    if (!cues)
        return;
    if (cues.playing) {
        try { cues.playing.stop(); } catch (e) {}
        cues.playing = null;
    }
    var buffer = cues.buffers[UTF8ToString(name)];
    if (!buffer)
        return;
    if (cues.context.state !== 'running')
        cues.context.resume();
    var source = cues.context.createBufferSource();
    source.buffer = buffer;
    source.connect(cues.context.destination);
    source.start();
    cues.playing = source;
});

std::unique_ptr<SoundPlayer> SoundPlayer::createForDesktop()
{
    return std::make_unique<WebSoundPlayer>();
}

void WebSoundPlayer::preload(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    contadopo_cue_load(path.toUtf8().constData(), bytes.constData(), int(bytes.size()));
}

void WebSoundPlayer::play(const QString &path)
{
    contadopo_cue_play(path.toUtf8().constData());
}
