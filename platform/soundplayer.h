#pragma once

#include <QString>

// Plays short cues. Every failure (no file, no device) is silent.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    // Loads a cue ahead of time so it starts without delay when played.
    virtual void preload(const QString &path) = 0;
    // Asynchronous; a new cue cuts off one still playing.
    virtual void play(const QString &path) = 0;
};
