#pragma once

#include <QString>
#include <memory>

// Plays short cues. Every failure (no file, no device, no sound server) is silent.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    // Loads a cue ahead of time so it starts without delay when played; returns at once.
    virtual void preload(const QString &path) = 0;
    // Asynchronous; a new cue cuts off one still playing.
    virtual void play(const QString &path) = 0;

    // The player of the system the program was built for.
    static std::unique_ptr<SoundPlayer> createForDesktop();
};
