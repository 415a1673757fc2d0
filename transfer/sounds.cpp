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
    if (session.soundPlayer)
        session.soundPlayer->beep();
    // The error sound marks the transfer as failed wherever it is played from, and
    // also where there is no way to play it.
    session.transfer.transferFailed = true;
    if (session.soundPlayer)
        session.soundPlayer->play(session.appDir + QStringLiteral("/ErrTrans.wav"));
}

} // namespace quillon
