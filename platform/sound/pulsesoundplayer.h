#pragma once

#include "platform/sound/soundplayer.h"

#include <memory>

// Cues through the desktop's sound server (PulseAudio, or PipeWire speaking its
// protocol): uploaded once to the server's sample cache, then played by name.
// The client library is loaded on a thread of its own at the first preload, so
// nothing of it is paid before the first window; the connection comes back by
// itself after the server restarts or appears late.
class PulseSoundPlayer : public SoundPlayer
{
public:
    PulseSoundPlayer();
    ~PulseSoundPlayer() override;

    void preload(const QString &path) override;
    void play(const QString &path) override;

    class Engine;

private:
    std::unique_ptr<Engine> m_engine;
};
