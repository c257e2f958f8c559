#include "platform/qt/qt_sound_player.h"

#include <QApplication>
#include <QMetaObject>
#include <utility>

namespace vorlanx {

QtSoundPlayer::QtSoundPlayer(SoundPlayer& sounds, std::function<void()> ring)
    : m_sounds(sounds), m_ring(ring ? std::move(ring) : [] { QApplication::beep(); }) {}

QtSoundPlayer::QtSoundPlayer(std::unique_ptr<SoundPlayer> sounds, std::function<void()> ring)
    : m_owned(std::move(sounds)),
      m_sounds(*m_owned),
      m_ring(ring ? std::move(ring) : [] { QApplication::beep(); }) {}

QtSoundPlayer::~QtSoundPlayer() = default;

bool QtSoundPlayer::playWaveFile(const std::string& path) {
    return m_sounds.playWaveFile(path);
}

bool QtSoundPlayer::playTones(const std::vector<Tone>& tones, unsigned pauseMs) {
    return m_sounds.playTones(tones, pauseMs);
}

void QtSoundPlayer::bell() {
    QMetaObject::invokeMethod(
        &m_context, [this] { m_ring(); }, Qt::QueuedConnection);
}

void QtSoundPlayer::stop() {
    m_sounds.stop();
}

std::unique_ptr<SoundPlayer> MakeDesktopSoundPlayer() {
    return std::make_unique<QtSoundPlayer>(std::make_unique<AlsaSoundPlayer>());
}

}  // namespace vorlanx
