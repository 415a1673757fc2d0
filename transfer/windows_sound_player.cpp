#include "platform/windows_sound.h"
#include "transfer/system_sound_player.h"

namespace quillon {

namespace {

class WindowsSoundPlayer final : public SoundPlayer {
public:
    void beep() override { systemBeep(); }
    void play(const QString& file) override { playSoundFileAsync(file); }
};

} // namespace

std::unique_ptr<SoundPlayer> makeSystemSoundPlayer() {
    return std::make_unique<WindowsSoundPlayer>();
}

} // namespace quillon
