#include "transfer/qt_sound_player.h"
#include "transfer/system_sound_player.h"

#include <QApplication>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace quillon {

QtSoundPlayer::QtSoundPlayer(QObject* parent) : QObject(parent) {}

QtSoundPlayer::~QtSoundPlayer() = default;

void QtSoundPlayer::beep() {
    QApplication::beep();
}

void QtSoundPlayer::play(const QString& file) {
    if (!QFileInfo(file).isFile()) {
        beep();
        return;
    }
    auto& effect = effects_[file];
    if (!effect) {
        effect = std::make_unique<QSoundEffect>();
        effect->setSource(QUrl::fromLocalFile(file));
        // A file the platform cannot play is noticed only once it has loaded.
        connect(effect.get(), &QSoundEffect::statusChanged, this, [this, raw = effect.get()] {
            if (raw->status() == QSoundEffect::Error)
                beep();
        });
    }
    if (effect->status() == QSoundEffect::Error) {
        beep();
        return;
    }
    effect->play();
}

} // namespace quillon

namespace quillon {

std::unique_ptr<SoundPlayer> makeSystemSoundPlayer() {
    return std::make_unique<QtSoundPlayer>();
}

} // namespace quillon
