#pragma once

#include "platform/sound/soundplayer.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// Cues through Windows' own PlaySound, from memory so the first one starts at once.
class WinSoundPlayer : public SoundPlayer
{
public:
    WinSoundPlayer() = default;
    ~WinSoundPlayer() override;
    WinSoundPlayer(const WinSoundPlayer &) = delete;
    WinSoundPlayer &operator=(const WinSoundPlayer &) = delete;

    void preload(const QString &path) override;
    void play(const QString &path) override;

private:
    const QByteArray &cueFor(const QString &path);

    // PlaySound reads a cue from here while it plays: kept as long as the player.
    QHash<QString, QByteArray> m_cues;
};
