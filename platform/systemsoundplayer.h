#pragma once

#include "platform/soundplayer.h"

#include <memory>

// The player of the system the program is built for.
std::unique_ptr<SoundPlayer> makeSystemSoundPlayer();
