#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

namespace quillon {

// One step of sending a tester line: a byte written on its own, or a pause.
struct LineStep {
    enum Kind { Byte, Pause };
    Kind kind = Byte;
    char byte = 0;
    double pauseMs = 0;

    static LineStep write(char code) { return {Byte, code, 0}; }
    static LineStep wait(double ms) { return {Pause, 0, ms}; }
    bool operator==(const LineStep&) const = default;
};

// A pause marker holds at most seven characters, so nothing longer than this
// can be meant; larger readings ("1e300") are cut to it.
inline constexpr double kLongestPauseMs = 9999999;

// What a transmit line sends, read left to right: "[CR]", "[LF]", "[ENQ]" and
// "[SOH]" (upper case only) become their codes, "[D|n]" with the "]" within
// eight characters of "[D|" a pause of n ms (none when n is negative), and
// every other character goes out as itself.
QVector<LineStep> lineSteps(const QString& line);

// The marker the Delay button inserts for an answer; empty pauses 0 ms.
QString pauseMarker(const QString& answer);

// Received bytes as the tester shows them: control codes by name, LF also as
// a line break, everything else as itself.
QString receivedText(const QByteArray& bytes);

} // namespace quillon
