#pragma once

#include "sim/console_settings.h"
#include "sim/role.h"
#include "sim/value_table.h"

#include <QElapsedTimer>

namespace quillon::sim {

// The controller's station console. A frame starts with ENQ (a command) or "&" (the
// report), then the station and the identifier with CR, then the command line "Y,Z,T,W"
// with CR; "7,7,7,7" takes one more line, the first parameter to list. The station and
// the identifier come in two writes with a pause between, but a controller cannot see
// pauses reliably through a modem, so it matches them as one text.
class ConsoleRole : public Role {
    Q_OBJECT
public:
    static constexpr char Enquiry = 0x05;
    static constexpr char ReportLead = '&';
    // A frame whose next line does not come within this time is abandoned, so a program
    // that died mid-frame does not leave the console deaf.
    static constexpr int FrameTimeoutMs = 10'000;
    static constexpr qsizetype MaxLine = 256;

    explicit ConsoleRole(const ConsoleSettings& settings, QObject* parent = nullptr);

    static bool opensFrame(char c) { return c == Enquiry || c == ReportLead; }

    void receive(QByteArrayView bytes) override;
    void clientClosed() override;

    // A frame has begun and not ended: every byte belongs to it.
    bool inFrame() const;

private:
    enum class Step { Idle, Address, Command, Extra };

    void take(char c);
    void lineEnded();
    void answerAddress();
    void answerCommand();
    void answerParameters(const QByteArray& firstLine);
    void endFrame();
    void answer(const QByteArray& text);

    ConsoleSettings settings_;
    ValueTable table_;
    Step step_ = Step::Idle;
    bool report_ = false;
    bool ours_ = false;
    QByteArray line_;
    QByteArray command_;
    QElapsedTimer lastByte_;
};

} // namespace quillon::sim
