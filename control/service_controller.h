#pragma once

#include "core/port_probe.h"
#include "core/serial_link.h"
#include "core/session.h"
#include "core/settings_file.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace quillon {

class ModemLink;
class SessionCapture;
class UploadCaptureNotes;
class StationConsole;
class Upload;
class UploadJournal;
class UploadView;

// What a front end (either edition's window, or any other) drives: the main
// port, its link, the modem link, the upload and the console exchange. No
// widgets: the front end shows what the view interfaces are told and asks the
// user through the session's dialogs.
class ServiceController : public QObject {
    Q_OBJECT
public:
    ServiceController(Session& session, UploadView& view, QObject* parent = nullptr);
    ~ServiceController() override;

    SerialPort& port() { return *port_; }
    SerialLink& link() { return *link_; }
    ModemLink& modemLink() { return *modemLink_; }
    Upload& upload() { return *upload_; }
    StationConsole& console() { return *console_; }
    // Null in an edition that keeps no journal of its uploads.
    UploadJournal* journal() { return journal_.get(); }
    const Edition& edition() const { return session_.edition; }

    // Answers the modem dial result when the terminal starts with the modem in use.
    void setDialer(std::function<QString()> dialer) { dialer_ = std::move(dialer); }
    // Where received text goes in terminal mode.
    void setTerminalSink(std::function<void(const QByteArray&)> sink);

    struct LoadedSettings {
        std::optional<QString> portLine;    // a typed port number the file brought
        std::optional<PortListing> listing; // when the ports were probed
        QVector<int> portStatus;
    };
    // Reads the settings file into the session and, where the edition does,
    // probes the ports. typedPortNumber is what the port box holds before. An unload
    // during the probe ends it, and the result then holds no listing.
    LoadedSettings loadSettings(const QString& typedPortNumber);
    // Closes the port and writes the settings file; once.
    void unload();

    enum class TerminalStart { Opened, Failed, DialGaveUp };
    // The port at the terminal settings, and the dial when the modem is in use.
    TerminalStart startTerminal(int& error);
    int openTerminalPort();
    void enterTerminalMode(bool on);
    // New terminal settings on the port number it already has.
    int reopenWithTerminalSettings(const QString& settings);
    void closePort();
    // Lends the line to a window that opens it on a port of its own.
    void releasePort();
    void reclaimPort();

    // A typed key to the line; a failure is reported.
    void sendKey(char code);
    void sendProgram();
    void cancelTransfer();
    // The cancel key clears transferBusy at once; the stopped run still has to unwind.
    bool uploadOnStack() const;

    // The session recorded into a file, from every port the session makes: asks for the
    // file, or ends the recording that runs. Failures are reported here.
    void switchCapture();
    bool capturing() const;
    void stopCapture();

Q_SIGNALS:
    // A write failed and the recording ended (already reported).
    void captureFailed();

private:
    QString captureFileFromUser();
    // Shows a recording's write failure once nothing is under way that a box would hold.
    void reportCaptureFailure();

    Session& session_;
    std::unique_ptr<SerialPort> port_;
    std::unique_ptr<SerialLink> link_;
    std::unique_ptr<ModemLink> modemLink_;
    std::unique_ptr<Upload> upload_;
    std::unique_ptr<StationConsole> console_;
    std::unique_ptr<SessionCapture> capture_;
    std::unique_ptr<UploadCaptureNotes> uploadNotes_;
    std::optional<int> captureFailure_; // not yet reported
    std::unique_ptr<UploadJournal> journal_;
    std::function<QString()> dialer_;
    // The start-up probe while it listens: an unload ends it.
    PortProbe* probe_ = nullptr;
};

} // namespace quillon
