#pragma once

#include <QByteArray>
#include <QString>

namespace quillon {

// Turns received bytes into text for the terminal box. A CR LF pair is a line
// break; a lone CR or LF is kept as a visible mark, as a plain text box shows
// it, since the box itself would turn either into a break. A CR LF split
// across two chunks still becomes one break.
class TerminalTextDecoder {
public:
    static constexpr char16_t kLoneCr = 0x240D;
    static constexpr char16_t kLoneLf = 0x240A;

    struct Piece {
        // The lone-CR mark inserted last time must become the break.
        bool joinsPreviousCr = false;
        QString text;
    };

    Piece decode(const QByteArray& chunk);
    void reset() { pendingCr_ = false; }

private:
    bool pendingCr_ = false;
};

// The terminal box keeps at most this much; past it only the newest
// kTerminalKeep characters stay.
inline constexpr qsizetype kTerminalCapacity = 65536;
inline constexpr qsizetype kTerminalKeep = 30000;

} // namespace quillon
