#pragma once

#include <QString>

namespace quillon {

// What the upload and the start handshake show on the main window.
class UploadView {
public:
    virtual ~UploadView() = default;
    virtual void setStatus(const QString& text) = 0; // Label4
    virtual QString status() const = 0;
    virtual void setInfo(const QString& text) = 0; // LabInfo
    virtual void setLabOk(const QString& text) = 0;
    virtual void setLabTotal(const QString& text) = 0;
    virtual void setLabErros(const QString& text) = 0;
    virtual void setLabPorcento(const QString& text) = 0;
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgressValue(int value) = 0;
    virtual bool isMinimized() const = 0;
    virtual void setCaption(const QString& text) = 0;
};

// The modem routines the upload calls when the controller is reached by phone.
class ModemControl {
public:
    virtual ~ModemControl() = default;
    // Sends a command line and answers the modem's reply ("" when none came).
    virtual QString modemCommand(const QString& command, double limitSeconds) = 0;
    // Escapes to command mode and sends "ath"; answers the reply to "ath".
    virtual QString hangUpModem() = 0;
};

// Plays the closing sounds without waiting for them.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void beep() = 0;
    // A missing or unplayable file gives the platform's default sound.
    virtual void play(const QString& file) = 0;
};

} // namespace quillon
