#include "platform/sound/pulsesoundplayer.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <sys/time.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A cue asked for while the connection or its upload was still being made plays
// when ready, if it is still this fresh; an older one would only confuse.
constexpr auto kStillFresh = std::chrono::seconds(1);

// The functions we use, resolved at run time: the library and the codecs it pulls
// in are mapped only once the first window is up, never before it.
#define CONTADOPO_PULSE_FUNCTIONS(X)                                                                          \
    X(pa_threaded_mainloop_new) X(pa_threaded_mainloop_free) X(pa_threaded_mainloop_start)                   \
    X(pa_threaded_mainloop_stop) X(pa_threaded_mainloop_lock) X(pa_threaded_mainloop_unlock)                 \
    X(pa_threaded_mainloop_get_api) X(pa_proplist_new) X(pa_proplist_sets) X(pa_proplist_free)               \
    X(pa_context_new_with_proplist) X(pa_context_set_state_callback) X(pa_context_connect)                   \
    X(pa_context_disconnect) X(pa_context_unref) X(pa_context_get_state)                                     \
    X(pa_context_play_sample_with_proplist) X(pa_context_kill_sink_input) X(pa_operation_unref)              \
    X(pa_stream_new) X(pa_stream_set_state_callback) X(pa_stream_set_write_callback)                         \
    X(pa_stream_connect_upload) X(pa_stream_write) X(pa_stream_finish_upload) X(pa_stream_get_state)         \
    X(pa_stream_unref)

struct PulseLibrary {
#define CONTADOPO_DECLARE(name) decltype(&::name) name = nullptr;
    CONTADOPO_PULSE_FUNCTIONS(CONTADOPO_DECLARE)
#undef CONTADOPO_DECLARE

    bool load()
    {
        // Kept loaded for the program's life: its threads may still be winding down.
        void *handle = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return false;
#define CONTADOPO_RESOLVE(name)                                                                               \
    name = reinterpret_cast<decltype(name)>(dlsym(handle, #name));                                            \
    if (!name)                                                                                                \
        return false;
        CONTADOPO_PULSE_FUNCTIONS(CONTADOPO_RESOLVE)
#undef CONTADOPO_RESOLVE
        return true;
    }
};

quint32 littleEndian(const char *p, int bytes)
{
    quint32 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | quint8(p[i]);
    return value;
}

// Plain PCM WAV only, which is what our cues are; anything else stays silent.
bool readWave(const QString &path, pa_sample_spec &sampleFormat, QByteArray &pcm)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray all = file.read(16 * 1024 * 1024);
    if (all.size() < 12 || !all.startsWith("RIFF") || all.mid(8, 4) != "WAVE")
        return false;
    bool haveFormat = false;
    int frameBytes = 0;
    for (qsizetype at = 12; at + 8 <= all.size();) {
        const QByteArray id = all.mid(at, 4);
        const qsizetype size = littleEndian(all.constData() + at + 4, 4);
        const qsizetype body = at + 8;
        if (size > all.size() - body)
            return false;
        if (id == "fmt " && size >= 16) {
            const char *f = all.constData() + body;
            const quint32 format = littleEndian(f, 2), channels = littleEndian(f + 2, 2);
            const quint32 rate = littleEndian(f + 4, 4), bits = littleEndian(f + 14, 2);
            if (format != 1 || channels < 1 || channels > 2 || rate < 4000 || rate > 192000)
                return false;
            if (bits == 8)
                sampleFormat.format = PA_SAMPLE_U8;
            else if (bits == 16)
                sampleFormat.format = PA_SAMPLE_S16LE;
            else if (bits == 24)
                sampleFormat.format = PA_SAMPLE_S24LE;
            else if (bits == 32)
                sampleFormat.format = PA_SAMPLE_S32LE;
            else
                return false;
            sampleFormat.rate = rate;
            sampleFormat.channels = quint8(channels);
            frameBytes = int(channels * bits / 8);
            haveFormat = true;
        } else if (id == "data" && haveFormat) {
            pcm = all.mid(body, size - size % frameBytes);
            return !pcm.isEmpty();
        }
        at = body + size + (size & 1);
    }
    return false;
}

} // namespace

class PulseSoundPlayer::Engine
{
public:
    ~Engine();
    void preload(const QString &path);
    void play(const QString &path);

private:
    struct Cue {
        Engine *engine = nullptr;
        std::string sampleName;
        pa_sample_spec sampleFormat{};
        QByteArray pcm;
        qsizetype written = 0;
        bool uploaded = false;
    };

    void startLibrary();
    Cue readCue(const QString &path);
    void addPathLocked(const QString &path);
    void tellOnce(const char *line);

    // Only with the main loop's lock held, or before the loop runs.
    void connect();
    void dropContext();
    void scheduleRetry();
    void upload(Cue &cue);
    void request(const QString &path, Clock::time_point at);
    void playNow(Cue &cue);
    Cue *cueFor(const QString &path);

    static void contextChanged(pa_context *context, void *self);
    static void retryDue(pa_mainloop_api *api, pa_time_event *event, const struct timeval *, void *self);
    static void uploadWanted(pa_stream *stream, size_t bytes, void *cue);
    static void uploadChanged(pa_stream *stream, void *cue);
    static void started(pa_context *context, uint32_t index, void *self);

    // Held by the GUI thread and the thread that loads the library, never by the loop.
    std::mutex m_mutex;
    QStringList m_paths;
    QString m_earlyCue;
    Clock::time_point m_earlyAt;
    std::thread m_starter;
    bool m_failed = false;
    pa_threaded_mainloop *m_loop = nullptr;

    std::atomic<bool> m_told{false};
    PulseLibrary m_pa;
    pa_mainloop_api *m_api = nullptr;

    // Owned by the main loop.
    QStringList m_cuePaths;
    std::vector<std::unique_ptr<Cue>> m_cues;
    pa_context *m_context = nullptr;
    std::vector<pa_stream *> m_uploads;
    pa_time_event *m_retry = nullptr;
    uint32_t m_playing = PA_INVALID_INDEX;
    int m_inFlight = 0;
    Cue *m_waiting = nullptr;
    Clock::time_point m_waitingAt;
};

PulseSoundPlayer::Engine::~Engine()
{
    if (m_starter.joinable())
        m_starter.join();
    if (!m_loop)
        return;
    m_pa.pa_threaded_mainloop_lock(m_loop);
    if (m_retry)
        m_api->time_free(m_retry);
    m_retry = nullptr;
    dropContext();
    m_pa.pa_threaded_mainloop_unlock(m_loop);
    m_pa.pa_threaded_mainloop_stop(m_loop);
    m_pa.pa_threaded_mainloop_free(m_loop);
}

void PulseSoundPlayer::Engine::tellOnce(const char *line)
{
    if (!m_told.exchange(true))
        std::fprintf(stderr, "Contadopo: %s\n", line);
}

PulseSoundPlayer::Engine::Cue PulseSoundPlayer::Engine::readCue(const QString &path)
{
    Cue cue;
    cue.engine = this;
    cue.sampleName = "contadopo-" + QFileInfo(path).completeBaseName().toStdString();
    if (!readWave(path, cue.sampleFormat, cue.pcm))
        cue.pcm.clear();
    return cue;
}

void PulseSoundPlayer::Engine::preload(const QString &path)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    addPathLocked(path);
}

void PulseSoundPlayer::Engine::addPathLocked(const QString &path)
{
    if (m_paths.contains(path))
        return;
    m_paths << path;
    if (m_failed)
        return;
    if (!m_loop) {
        // The loading thread picks up every path added until it is done.
        if (!m_starter.joinable())
            m_starter = std::thread(&Engine::startLibrary, this);
        return;
    }
    auto cue = std::make_unique<Cue>(readCue(path));
    m_pa.pa_threaded_mainloop_lock(m_loop);
    m_cuePaths << path;
    m_cues.push_back(std::move(cue));
    if (m_context && m_pa.pa_context_get_state(m_context) == PA_CONTEXT_READY)
        upload(*m_cues.back());
    m_pa.pa_threaded_mainloop_unlock(m_loop);
}

void PulseSoundPlayer::Engine::play(const QString &path)
{
    const auto at = Clock::now();
    std::lock_guard<std::mutex> guard(m_mutex);
    addPathLocked(path);
    if (!m_loop) {
        if (!m_failed) {
            m_earlyCue = path;
            m_earlyAt = at;
        }
        return;
    }
    m_pa.pa_threaded_mainloop_lock(m_loop);
    request(path, at);
    m_pa.pa_threaded_mainloop_unlock(m_loop);
}

void PulseSoundPlayer::Engine::startLibrary()
{
    pa_threaded_mainloop *loop = m_pa.load() ? m_pa.pa_threaded_mainloop_new() : nullptr;
    if (!loop) {
        tellOnce("libpulse non disponibile, i suoni restano muti.");
        std::lock_guard<std::mutex> guard(m_mutex);
        m_failed = true;
        return;
    }
    // Files are read without the lock; paths added meanwhile are read on the next pass.
    std::unique_lock<std::mutex> guard(m_mutex);
    while (m_cuePaths.size() < m_paths.size()) {
        const QStringList more = m_paths.mid(m_cuePaths.size());
        guard.unlock();
        for (const QString &path : more)
            m_cues.push_back(std::make_unique<Cue>(readCue(path)));
        guard.lock();
        m_cuePaths << more;
    }
    m_api = m_pa.pa_threaded_mainloop_get_api(loop);
    connect();
    if (!m_earlyCue.isEmpty())
        request(m_earlyCue, m_earlyAt);
    if (m_pa.pa_threaded_mainloop_start(loop) < 0) {
        dropContext();
        m_pa.pa_threaded_mainloop_free(loop);
        m_failed = true;
        return;
    }
    m_loop = loop;
}

void PulseSoundPlayer::Engine::connect()
{
    pa_proplist *props = m_pa.pa_proplist_new();
    m_pa.pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Contadopo");
    m_pa.pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "it.contadopo.contadopo");
    m_pa.pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "event");
    m_context = m_pa.pa_context_new_with_proplist(m_api, "Contadopo", props);
    m_pa.pa_proplist_free(props);
    if (!m_context) {
        scheduleRetry();
        return;
    }
    m_pa.pa_context_set_state_callback(m_context, &Engine::contextChanged, this);
    // Never start a server of our own: the desktop's, or silence.
    if (m_pa.pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        tellOnce("nessun server audio, i suoni restano muti finché non ne compare uno.");
        dropContext();
        scheduleRetry();
    }
}

void PulseSoundPlayer::Engine::dropContext()
{
    for (pa_stream *stream : m_uploads) {
        m_pa.pa_stream_set_state_callback(stream, nullptr, nullptr);
        m_pa.pa_stream_set_write_callback(stream, nullptr, nullptr);
        m_pa.pa_stream_unref(stream);
    }
    m_uploads.clear();
    for (const auto &cue : m_cues)
        cue->uploaded = false;
    m_playing = PA_INVALID_INDEX;
    m_inFlight = 0;
    if (!m_context)
        return;
    m_pa.pa_context_set_state_callback(m_context, nullptr, nullptr);
    m_pa.pa_context_disconnect(m_context);
    m_pa.pa_context_unref(m_context);
    m_context = nullptr;
}

void PulseSoundPlayer::Engine::scheduleRetry()
{
    if (m_retry)
        return;
    timeval when{};
    gettimeofday(&when, nullptr);
    when.tv_sec += 1;
    m_retry = m_api->time_new(m_api, &when, &Engine::retryDue, this);
}

void PulseSoundPlayer::Engine::retryDue(pa_mainloop_api *api, pa_time_event *event, const struct timeval *, void *self)
{
    auto *engine = static_cast<Engine *>(self);
    api->time_free(event);
    engine->m_retry = nullptr;
    engine->connect();
}

void PulseSoundPlayer::Engine::contextChanged(pa_context *context, void *self)
{
    auto *engine = static_cast<Engine *>(self);
    switch (engine->m_pa.pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        for (const auto &cue : engine->m_cues)
            engine->upload(*cue);
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        engine->tellOnce("nessun server audio, i suoni restano muti finché non ne compare uno.");
        engine->dropContext();
        engine->scheduleRetry();
        break;
    default:
        break;
    }
}

// A fresh server has an empty cache, and the cue files may have changed since the
// last connection: every connection uploads every cue again.
void PulseSoundPlayer::Engine::upload(Cue &cue)
{
    if (cue.pcm.isEmpty())
        return;
    pa_stream *stream = m_pa.pa_stream_new(m_context, cue.sampleName.c_str(), &cue.sampleFormat, nullptr);
    if (!stream)
        return;
    cue.written = 0;
    cue.uploaded = false;
    m_pa.pa_stream_set_state_callback(stream, &Engine::uploadChanged, &cue);
    m_pa.pa_stream_set_write_callback(stream, &Engine::uploadWanted, &cue);
    if (m_pa.pa_stream_connect_upload(stream, size_t(cue.pcm.size())) < 0) {
        m_pa.pa_stream_set_state_callback(stream, nullptr, nullptr);
        m_pa.pa_stream_set_write_callback(stream, nullptr, nullptr);
        m_pa.pa_stream_unref(stream);
        return;
    }
    m_uploads.push_back(stream);
}

void PulseSoundPlayer::Engine::uploadWanted(pa_stream *stream, size_t bytes, void *data)
{
    auto *cue = static_cast<Cue *>(data);
    const PulseLibrary &pa = cue->engine->m_pa;
    const qsizetype chunk = std::min(qsizetype(bytes), cue->pcm.size() - cue->written);
    if (chunk > 0 && pa.pa_stream_write(stream, cue->pcm.constData() + cue->written, size_t(chunk), nullptr, 0,
                                        PA_SEEK_RELATIVE) == 0)
        cue->written += chunk;
    if (cue->written == cue->pcm.size()) {
        pa.pa_stream_set_write_callback(stream, nullptr, nullptr);
        pa.pa_stream_finish_upload(stream);
    }
}

void PulseSoundPlayer::Engine::uploadChanged(pa_stream *stream, void *data)
{
    auto *cue = static_cast<Cue *>(data);
    Engine *engine = cue->engine;
    const pa_stream_state_t state = engine->m_pa.pa_stream_get_state(stream);
    if (state != PA_STREAM_TERMINATED && state != PA_STREAM_FAILED)
        return;
    // Terminated after the whole upload was finished is the server keeping the sample.
    cue->uploaded = state == PA_STREAM_TERMINATED && cue->written == cue->pcm.size();
    auto &uploads = engine->m_uploads;
    uploads.erase(std::remove(uploads.begin(), uploads.end(), stream), uploads.end());
    engine->m_pa.pa_stream_set_state_callback(stream, nullptr, nullptr);
    engine->m_pa.pa_stream_unref(stream);
    if (cue->uploaded && engine->m_waiting == cue) {
        engine->m_waiting = nullptr;
        if (Clock::now() - engine->m_waitingAt < kStillFresh)
            engine->playNow(*cue);
    }
}

PulseSoundPlayer::Engine::Cue *PulseSoundPlayer::Engine::cueFor(const QString &path)
{
    const qsizetype at = m_cuePaths.indexOf(path);
    return at < 0 ? nullptr : m_cues[size_t(at)].get();
}

void PulseSoundPlayer::Engine::request(const QString &path, Clock::time_point at)
{
    Cue *cue = cueFor(path);
    if (!cue || cue->pcm.isEmpty())
        return;
    if (!m_context || m_pa.pa_context_get_state(m_context) != PA_CONTEXT_READY || !cue->uploaded) {
        m_waiting = cue;
        m_waitingAt = at;
        return;
    }
    playNow(*cue);
}

void PulseSoundPlayer::Engine::playNow(Cue &cue)
{
    m_waiting = nullptr;
    if (m_playing != PA_INVALID_INDEX) {
        if (pa_operation *o = m_pa.pa_context_kill_sink_input(m_context, m_playing, nullptr, nullptr))
            m_pa.pa_operation_unref(o);
        m_playing = PA_INVALID_INDEX;
    }
    pa_operation *o = m_pa.pa_context_play_sample_with_proplist(m_context, cue.sampleName.c_str(), nullptr,
                                                                PA_VOLUME_INVALID, nullptr, &Engine::started, this);
    if (o) {
        ++m_inFlight;
        m_pa.pa_operation_unref(o);
    }
}

// The server answers in order: a cue started while a newer one was already asked
// for is cut off at once, so the newest always wins.
void PulseSoundPlayer::Engine::started(pa_context *context, uint32_t index, void *self)
{
    auto *engine = static_cast<Engine *>(self);
    if (engine->m_inFlight > 0)
        --engine->m_inFlight;
    if (index == PA_INVALID_INDEX)
        return;
    if (engine->m_inFlight > 0) {
        if (pa_operation *o = engine->m_pa.pa_context_kill_sink_input(context, index, nullptr, nullptr))
            engine->m_pa.pa_operation_unref(o);
    } else {
        engine->m_playing = index;
    }
}

PulseSoundPlayer::PulseSoundPlayer()
    : m_engine(std::make_unique<Engine>())
{
}

PulseSoundPlayer::~PulseSoundPlayer() = default;

void PulseSoundPlayer::preload(const QString &path)
{
    m_engine->preload(path);
}

void PulseSoundPlayer::play(const QString &path)
{
    m_engine->play(path);
}

std::unique_ptr<SoundPlayer> SoundPlayer::createForDesktop()
{
    return std::make_unique<PulseSoundPlayer>();
}
