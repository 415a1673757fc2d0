#pragma once

#include "transfer/upload_view.h"

#include <QStringList>

namespace quillon::test {

// The window's indicators, remembered with their history.
class FakeUploadView : public UploadView {
public:
    void setStatus(const QString& text) override { statusHistory << (status_ = text); }
    QString status() const override { return status_; }
    void setInfo(const QString& text) override { infoHistory << (info = text); }
    void setLabOk(const QString& text) override { labOk = text; }
    void setLabTotal(const QString& text) override { labTotal = text; }
    void setLabErros(const QString& text) override { errosHistory << (labErros = text); }
    void setLabPorcento(const QString& text) override { porcentoHistory << (labPorcento = text); }
    void setProgressMaximum(int maximum) override { progressMaximum = maximum; }
    void setProgressValue(int value) override { progressValue = value; }
    bool isMinimized() const override { return minimized; }
    void setCaption(const QString& text) override { captions << text; }

    QString status_;
    QString info;
    QString labOk;
    QString labTotal;
    QString labErros;
    QString labPorcento;
    int progressMaximum = 0;
    int progressValue = 0;
    bool minimized = false;
    QStringList statusHistory;
    QStringList infoHistory;
    QStringList errosHistory;
    QStringList porcentoHistory;
    QStringList captions;
};

class FakeSounds : public SoundPlayer {
public:
    void beep() override { played << QStringLiteral("beep"); }
    void play(const QString& file) override { played << file.section(QLatin1Char('/'), -1); }
    QStringList played;
};

class FakeModem : public ModemControl {
public:
    QString modemCommand(const QString& command, double limitSeconds) override {
        calls << QStringLiteral("%1 /%2").arg(command).arg(limitSeconds);
        return reply;
    }
    QString hangUpModem() override {
        calls << QStringLiteral("hangup");
        return QStringLiteral("OK");
    }
    QString reply = QStringLiteral("CONNECT 9600");
    QStringList calls;
};

} // namespace quillon::test
