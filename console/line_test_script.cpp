#include "console/line_test_script.h"

#include "core/text_helpers.h"
#include "platform/control_names.h"
#include "platform/cp1252.h"

#include <QStringView>

#include <algorithm>

namespace quillon {

namespace {

// The only names a line may use for a code; the others go out as typed.
constexpr char kMarkerCodes[] = {'\r', '\n', '\x05', '\x01'};

const QString kPauseOpen = QStringLiteral("[D|");
// The "]" of a pause stands within this many characters after "[D|".
constexpr qsizetype kPauseReach = 8;

} // namespace

QVector<LineStep> lineSteps(const QString& line) {
    QVector<LineStep> steps;
    const QStringView text(line);
    qsizetype p = 0;
    while (p < text.size()) {
        const QStringView rest = text.mid(p);
        if (rest.front() != QLatin1Char('[')) {
            // One character, one byte: "?" for one cp1252 cannot carry.
            const qsizetype length = characterLength(line, p);
            steps.append(LineStep::write(lineBytes(line.mid(p, length)).at(0)));
            p += length;
            continue;
        }
        const char* code = std::find_if(std::begin(kMarkerCodes), std::end(kMarkerCodes),
                                        [&](char c) { return rest.startsWith(controlName(c)); });
        if (code != std::end(kMarkerCodes)) {
            steps.append(LineStep::write(*code));
            p += controlName(*code).size();
            continue;
        }
        if (rest.startsWith(kPauseOpen)) {
            const qsizetype close = rest.indexOf(QLatin1Char(']'), kPauseOpen.size());
            if (close >= 0 && close < kPauseOpen.size() + kPauseReach) {
                const QString number =
                    rest.mid(kPauseOpen.size(), close - kPauseOpen.size()).toString();
                const double ms = leadingNumber(number);
                if (ms >= 0)
                    steps.append(LineStep::wait(std::min(ms, kLongestPauseMs)));
                p += close + 1;
                continue;
            }
        }
        steps.append(LineStep::write('['));
        ++p;
    }
    return steps;
}

QString pauseMarker(const QString& answer) {
    return kPauseOpen + answer + QLatin1Char(']');
}

QString receivedText(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto code = static_cast<unsigned char>(c);
        if (code >= 32)
            text.append(cp1252Char(c));
        else if (code == '\n')
            text.append(QLatin1Char('\n') + controlName(code));
        else
            text.append(controlName(code));
    }
    return text;
}

} // namespace quillon
