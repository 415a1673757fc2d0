#pragma once

#include "platform/dialogs.h"
#include "transfer/upload_view.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

namespace quillon::cli {

// Everything the uploader says goes to stderr; a progress bar redrawn in place
// must be ended before any other line is written.
class ConsoleOut {
public:
    explicit ConsoleOut(std::FILE* stream);
    bool isTerminal() const { return terminal_; }
    void line(const QString& text);
    void redraw(const QString& text); // in place on a terminal
    void endRedraw();
    void bell();

private:
    std::FILE* stream_;
    bool terminal_ = false;
    bool redrawing_ = false;
};

// The upload's indicators on a console: the B1/B2 prompt once, then the
// progress, and what the final line needs.
class ConsoleView final : public UploadView {
public:
    ConsoleView(ConsoleOut& out, bool quiet) : out_(out), quiet_(quiet) {}

    void setStatus(const QString& text) override;
    QString status() const override { return status_; }
    void setInfo(const QString& text) override;
    void setLabOk(const QString& text) override;
    void setLabTotal(const QString&) override {}
    void setLabErros(const QString& text) override;
    void setLabPorcento(const QString&) override {}
    void setProgressMaximum(int maximum) override;
    void setProgressValue(int value) override;
    bool isMinimized() const override { return false; }
    void setCaption(const QString&) override {}

    void endProgress() { out_.endRedraw(); }
    bool transferStarted() const { return transferStarted_; }
    bool succeeded() const { return succeeded_; }
    int blocksAcknowledged() const { return acknowledged_; }
    int blocksTotal() const { return total_; }
    int resends() const { return resends_; }

private:
    void showProgress(bool last);

    ConsoleOut& out_;
    bool quiet_;
    QString status_;
    bool promptShown_ = false;
    bool transferStarted_ = false;
    bool succeeded_ = false;
    int total_ = 0;
    int acknowledged_ = 0;
    int resends_ = 0;
    int lastTenth_ = 0;
    QElapsedTimer sending_;
    qint64 lastDrawMs_ = -1;
};

// Boxes become lines on stderr; questions get the answer the window offers first.
class ConsoleDialogs final : public Dialogs {
public:
    explicit ConsoleDialogs(ConsoleOut& out) : out_(out) {}

    MessageAnswer message(const QString& title, const QString& text, MessageIcon icon,
                          MessageButtons buttons) override;
    QString inputBox(const QString&, const QString&, const QString&) override { return {}; }
    FileDialogResult fileDialog(const FileDialogRequest&) override { return {}; }

    struct Shown {
        QString title;
        QString text;
    };
    QList<Shown> shown;
    // Boxes with these titles are kept but not said (answers false: all are said).
    std::function<bool(const QString& title)> silenceTitle;

private:
    ConsoleOut& out_;
};

// The closing sounds: only the error's beep, and only where someone hears it.
class ConsoleSound final : public SoundPlayer {
public:
    ConsoleSound(ConsoleOut& out, bool quiet) : out_(out), quiet_(quiet) {}
    void beep() override;
    void play(const QString&) override {}

private:
    ConsoleOut& out_;
    bool quiet_;
};

// "0:07", "12:30", "1:02:03".
QString durationText(qint64 seconds);

} // namespace quillon::cli
