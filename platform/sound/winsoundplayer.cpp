#include "platform/sound/winsoundplayer.h"

#include <QFile>

#include <windows.h>
#include <mmsystem.h>

namespace {
// Far more than a short cue; a huge file in its place is not read into memory.
constexpr qint64 kMaxCueBytes = 4 * 1024 * 1024;
} // namespace

std::unique_ptr<SoundPlayer> SoundPlayer::createForDesktop()
{
    return std::make_unique<WinSoundPlayer>();
}

WinSoundPlayer::~WinSoundPlayer()
{
    PlaySoundW(nullptr, nullptr, 0);
}

const QByteArray &WinSoundPlayer::cueFor(const QString &path)
{
    auto found = m_cues.find(path);
    if (found == m_cues.end()) {
        QFile file(path);
        // A missing or strange file stays silent, and is not tried again.
        QByteArray cue;
        if (file.open(QIODevice::ReadOnly) && file.size() <= kMaxCueBytes)
            cue = file.readAll();
        found = m_cues.insert(path, cue);
    }
    return *found;
}

void WinSoundPlayer::preload(const QString &path)
{
    cueFor(path);
}

void WinSoundPlayer::play(const QString &path)
{
    const QByteArray &cue = cueFor(path);
    if (cue.isEmpty())
        return;
    // Asynchronous; a new cue cuts off the one still playing.
    PlaySoundW(reinterpret_cast<const wchar_t *>(cue.constData()), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
}
