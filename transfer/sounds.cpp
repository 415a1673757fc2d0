#include "transfer/sounds.h"

#include "transfer/upload_view.h"

namespace quillon {

void playOkSound(Session& session) {
    if (!session.soundPlayer)
        return;
    // The beep is heard even where the file cannot be played.
    session.soundPlayer->beep();
    session.soundPlayer->play(session.appDir + QStringLiteral("/OKTrans.wav"));
}

void playErrorSound(Session& session) {
    if (!session.soundPlayer)
        return;
    session.soundPlayer->beep();
    session.soundPlayer->play(session.appDir + QStringLiteral("/ErrTrans.wav"));
}

} // namespace quillon
