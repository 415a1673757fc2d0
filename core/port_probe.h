#pragma once

#include "platform/serial_port.h"

#include <QString>
#include <QVector>

#include <functional>

namespace quillon {

namespace PortStatus {
inline constexpr int NotFound = 0;
inline constexpr int Free = 1;
inline constexpr int Modem = 2;
inline constexpr int InUse = 8005;
} // namespace PortStatus

// Finds which COM numbers exist, which are held by another program and which
// have a modem that answers "OK" to "ATV1". Every port that opens is asked at
// once, each on its own port object, so the whole probe costs one quiet-line
// wait however many ports answer.
class PortProbe {
public:
    // A port that still talks after this long is judged on what it said so far:
    // a chattering device must not keep the program from starting.
    static constexpr int kMaxListenMs = 3000;
    static constexpr int kQuietMs = 500;

    explicit PortProbe(PortFactory factory) : factory_(std::move(factory)) {}

    // PortStatus for 0..count.
    QVector<int> run(int count);
    // From inside a run (an end request while the ports are listened to): every port
    // is closed at once and judged on what it said so far, and run() returns.
    void stop();

private:
    PortFactory factory_;
    std::function<void()> finishAll_;
};

struct PortListEntry {
    QString text;
    int portNumber = 0;
};

inline const QString kNoPortFound = QStringLiteral("Nenhuma COM encontr....");

struct PortListing {
    QVector<PortListEntry> entries;
    QString portNumberText; // new Text4, empty to keep it
    QString comboText;      // empty to leave Combo1's text alone
};

// The port list for COM0..COM10 and what the saved port number makes of it.
PortListing buildPortListing(const QVector<int>& status, int savedPort);

} // namespace quillon
