#include "tools/console_front.h"

#include "platform/console_text.h"
#include "transfer/xmodem.h"

namespace quillon::cli {

namespace {

constexpr int kBarWidth = 30;
// Redrawing the bar for every block would cost more than the block on a fast line.
constexpr qint64 kRedrawMs = 100;

const QString kPrefix = QStringLiteral("quillon-upload: ");

} // namespace

ConsoleOut::ConsoleOut(std::FILE* stream) : stream_(stream), terminal_(isRedrawTerminal(stream)) {}

void ConsoleOut::line(const QString& text) {
    endRedraw();
    writeConsoleText(stream_, text + QLatin1Char('\n'));
    std::fflush(stream_);
}

void ConsoleOut::redraw(const QString& text) {
    if (!terminal_) {
        line(text);
        return;
    }
    // Clear to the end of the line: the new text may be shorter.
    writeConsoleText(stream_, QLatin1Char('\r') + text + QStringLiteral("\x1b[K"));
    std::fflush(stream_);
    redrawing_ = true;
}

void ConsoleOut::endRedraw() {
    if (!redrawing_)
        return;
    redrawing_ = false;
    std::fputc('\n', stream_);
    std::fflush(stream_);
}

void ConsoleOut::bell() {
    std::fputc('\a', stream_);
    std::fflush(stream_);
}

QString durationText(qint64 seconds) {
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds / 60 % 60;
    const QString rest =
        QStringLiteral("%1:%2").arg(minutes).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (hours == 0)
        return rest;
    return QStringLiteral("%1:%2:%3")
        .arg(hours)
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void ConsoleView::setStatus(const QString& text) {
    status_ = text;
    if (text == QLatin1String("TRANSFERINDO") && !transferStarted_) {
        transferStarted_ = true;
        if (!quiet_)
            out_.line(kPrefix + text);
    } else if (text == QLatin1String("PROGRAMA ENVIADO COM SUCESSO")) {
        succeeded_ = true;
        // Success means every block was acknowledged, whatever the counters
        // last showed.
        acknowledged_ = total_;
    }
}

void ConsoleView::setInfo(const QString& text) {
    if (text != QLatin1String("PRESSIONE B1 e B2") || promptShown_)
        return;
    promptShown_ = true;
    if (!quiet_)
        out_.line(kPrefix + QStringLiteral("AGUARDANDO COMANDO DE INICIALIZAÇÃO: ") + text);
}

void ConsoleView::setLabOk(const QString& text) {
    // Emptied at the end: the count stays for the final line.
    if (!text.isEmpty())
        acknowledged_ = text.toInt();
}

void ConsoleView::setLabErros(const QString& text) {
    // Written once per resend, with that block's count.
    if (!text.isEmpty() && text.toInt() > 0)
        ++resends_;
}

void ConsoleView::setProgressMaximum(int maximum) {
    total_ = maximum;
    acknowledged_ = 0;
    lastTenth_ = 0;
    lastDrawMs_ = -1;
    sending_.start();
}

void ConsoleView::setProgressValue(int value) {
    if (value <= 0 || total_ <= 0)
        return; // the bar emptied at the end
    acknowledged_ = value;
    showProgress(value >= total_);
}

void ConsoleView::showProgress(bool last) {
    if (quiet_)
        return;
    const int percent = static_cast<int>(qint64(acknowledged_) * 100 / total_);
    const qint64 elapsedMs = sending_.elapsed();
    if (out_.isTerminal()) {
        if (!last && lastDrawMs_ >= 0 && elapsedMs - lastDrawMs_ < kRedrawMs)
            return;
    } else {
        const int tenth = percent / 10;
        if (tenth <= lastTenth_)
            return;
        lastTenth_ = tenth;
    }
    lastDrawMs_ = elapsedMs;
    const double seconds = static_cast<double>(elapsedMs) / 1000.0;
    const double sent = static_cast<double>(acknowledged_) * xmodem::kDataSize;
    const double rate = seconds > 0 ? sent / seconds : 0;
    const double left = static_cast<double>(total_ - acknowledged_) * xmodem::kDataSize;
    const QString remaining =
        rate > 0 ? durationText(static_cast<qint64>(left / rate + 0.5)) : QStringLiteral("?");
    const QString figures = QStringLiteral("%1%  %2/%3 blocos  %4 B/s  faltam %5")
                                .arg(percent, 3)
                                .arg(acknowledged_)
                                .arg(total_)
                                .arg(static_cast<qint64>(rate))
                                .arg(remaining);
    if (out_.isTerminal()) {
        const int filled = static_cast<int>(qint64(acknowledged_) * kBarWidth / total_);
        out_.redraw(QStringLiteral("[%1%2] ").arg(QString(filled, QLatin1Char('#')),
                                                  QString(kBarWidth - filled, QLatin1Char('.'))) +
                    figures);
    } else {
        out_.line(figures);
    }
}

MessageAnswer ConsoleDialogs::message(const QString& title, const QString& text, MessageIcon,
                                      MessageButtons buttons) {
    shown.append({title, text});
    if (silenceTitle && silenceTitle(title))
        return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    QStringList lines = withLineBreaks(text).split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    QString said = kPrefix + title.trimmed();
    for (const QString& line : std::as_const(lines)) {
        if (!line.trimmed().isEmpty())
            said += QStringLiteral("\n  ") + line;
    }
    out_.line(said);
    // The window offers Yes first; nothing in an upload asks, but a question
    // must not wait for a keyboard that nobody uses.
    return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
}

void ConsoleSound::beep() {
    if (quiet_ || !out_.isTerminal())
        return;
    out_.bell();
}

} // namespace quillon::cli
