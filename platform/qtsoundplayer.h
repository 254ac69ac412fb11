#pragma once

#include "platform/soundplayer.h"

#include <QHash>
#include <QString>
#include <memory>

class QSoundEffect;

class QtSoundPlayer : public SoundPlayer
{
public:
    QtSoundPlayer();
    ~QtSoundPlayer() override;

    void preload(const QString &path) override;
    void play(const QString &path) override;

private:
    QSoundEffect *effectFor(const QString &path);

    // Without an output a QSoundEffect stays "playing" forever: never start one.
    bool m_hasOutput = false;
    QHash<QString, std::shared_ptr<QSoundEffect>> m_effects;
};
