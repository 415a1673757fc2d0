#include "sim/uart_decoder.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>

namespace quillon::sim {

namespace {

constexpr double NsPerSecond = 1e9;
constexpr int DataBits = 8;
// Bits 0 (start) to 8 (last data bit) can change the line; from 9 on it stays at 1.
constexpr int StopBit = DataBits + 1;
// A sample taken exactly where a bit begins sees that bit. The margin is far below any
// bit time and far above the rounding of the arithmetic.
constexpr double BoundaryMargin = 1e-9;

// The sender's side of the wire for one character.
class Waveform {
public:
    Waveform(quint8 value, const QList<SpeedChange>& speeds) : value_(value) {
        double bits = 0;
        for (qsizetype i = 0; i < speeds.size(); ++i) {
            const Stretch stretch{static_cast<double>(speeds.at(i).atNs),
                                  speeds.at(i).baud / NsPerSecond, bits};
            if (i + 1 < speeds.size())
                bits += (static_cast<double>(speeds.at(i + 1).atNs) - stretch.fromNs) *
                        stretch.bitsPerNs;
            stretches_.append(stretch);
        }
    }

    // Whether bit k of the character (0 the start bit) is a 1; before and after it the
    // line idles at 1.
    bool bitIsOne(int k) const {
        if (k < 0 || k >= StopBit)
            return true;
        return k > 0 && ((value_ >> (k - 1)) & 1) != 0;
    }

    bool levelAt(double ns) const {
        if (ns < 0)
            return true;
        const Stretch& at = *std::prev(
            std::upper_bound(stretches_.cbegin() + 1, stretches_.cend(), ns,
                             [](double t, const Stretch& stretch) { return t < stretch.fromNs; }));
        const double bits = at.bitsBefore + (ns - at.fromNs) * at.bitsPerNs;
        return bitIsOne(static_cast<int>(std::floor(bits + BoundaryMargin)));
    }

    // When bit k begins.
    double startOfBit(int k) const {
        const Stretch& at = *std::prev(std::upper_bound(
            stretches_.cbegin() + 1, stretches_.cend(), k,
            [](int bit, const Stretch& stretch) { return bit < stretch.bitsBefore; }));
        return at.fromNs + (k - at.bitsBefore) / at.bitsPerNs;
    }

    // The first start of a bit at or after `from` where the line goes to `level`.
    std::optional<double> nextEdge(double from, bool level) const {
        for (int k = 0; k <= StopBit; ++k) {
            if (bitIsOne(k) != level || bitIsOne(k - 1) == level)
                continue;
            const double at = startOfBit(k);
            if (at >= from)
                return at;
        }
        return std::nullopt;
    }

private:
    // A stretch of the character at one speed: from when, how fast, and how many bit
    // times had gone by before it.
    struct Stretch {
        double fromNs;
        double bitsPerNs;
        double bitsBefore;
    };

    quint8 value_;
    QList<Stretch> stretches_;
};

} // namespace

QList<HeardByte> hearCharacter(quint8 value, const QList<SpeedChange>& speeds, int receiverBaud) {
    QList<HeardByte> heard;
    if (speeds.isEmpty() || receiverBaud <= 0)
        return heard;
    const Waveform wire(value, speeds);
    const double bit = NsPerSecond / receiverBaud;
    double from = 0;
    while (const std::optional<double> edge = wire.nextEdge(from, false)) {
        if (wire.levelAt(*edge + bit / 2)) {
            // Too short for a start bit: a glitch.
            from = *edge + bit / 2;
            continue;
        }
        HeardByte byte;
        quint8 data = 0;
        for (int i = 0; i < DataBits; ++i)
            if (wire.levelAt(*edge + (1.5 + i) * bit))
                data = static_cast<quint8>(data | (1 << i));
        byte.value = static_cast<char>(data);
        const double stopSample = *edge + (1.5 + DataBits) * bit;
        byte.framingError = !wire.levelAt(stopSample);
        heard.append(byte);
        from = stopSample;
        if (byte.framingError) {
            // The line ends every character at 1, so the rise is always there.
            from = wire.nextEdge(stopSample, true).value_or(stopSample);
        }
    }
    return heard;
}

} // namespace quillon::sim
