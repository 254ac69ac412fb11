#pragma once

#include "platform/sound/soundplayer.h"

// Cues through the browser's Web Audio: decoded once at preload, then started at once
// from memory. The browser lets a page sound only after a user gesture; typing the
// name is one, so the first answer is heard.
class WebSoundPlayer : public SoundPlayer
{
public:
    void preload(const QString &path) override;
    void play(const QString &path) override;
};
