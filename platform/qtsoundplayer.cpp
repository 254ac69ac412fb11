#include "platform/qtsoundplayer.h"

#include "platform/systemsoundplayer.h"

#include <QFileInfo>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

std::unique_ptr<SoundPlayer> makeSystemSoundPlayer()
{
    return std::make_unique<QtSoundPlayer>();
}

QtSoundPlayer::QtSoundPlayer()
    : m_hasOutput(!QMediaDevices::audioOutputs().isEmpty())
{
}

QtSoundPlayer::~QtSoundPlayer() = default;

QSoundEffect *QtSoundPlayer::effectFor(const QString &path)
{
    if (!m_hasOutput)
        return nullptr;
    auto found = m_effects.constFind(path);
    if (found != m_effects.constEnd())
        return found->get();
    if (!QFileInfo(path).isFile()) {
        m_effects.insert(path, nullptr);
        return nullptr;
    }
    auto effect = std::make_shared<QSoundEffect>();
    effect->setSource(QUrl::fromLocalFile(path));
    m_effects.insert(path, effect);
    return effect.get();
}

void QtSoundPlayer::preload(const QString &path)
{
    effectFor(path);
}

void QtSoundPlayer::play(const QString &path)
{
    QSoundEffect *effect = effectFor(path);
    if (!effect)
        return;
    for (const auto &other : std::as_const(m_effects)) {
        if (other && other.get() != effect)
            other->stop();
    }
    effect->stop();
    effect->play();
}
