#pragma once

#include "transfer/upload_view.h"

#include <QObject>

#include <map>
#include <memory>

class QSoundEffect;

namespace quillon {

// Sounds through Qt Multimedia; the system beep stands in for a file that is
// missing or cannot be played.
class QtSoundPlayer final : public QObject, public SoundPlayer {
    Q_OBJECT
public:
    explicit QtSoundPlayer(QObject* parent = nullptr);
    ~QtSoundPlayer() override;
    void beep() override;
    void play(const QString& file) override;

private:
    std::map<QString, std::unique_ptr<QSoundEffect>> effects_;
};

} // namespace quillon
