#include "core/port_probe.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <memory>
#include <vector>

namespace quillon {

namespace {

struct ListeningPort {
    int number = 0;
    std::unique_ptr<SerialPort> port;
    QByteArray received;
    std::unique_ptr<QTimer> quiet;
    bool done = false;
};

} // namespace

QVector<int> PortProbe::run(int count) {
    QVector<int> status(count + 1, PortStatus::NotFound);
    std::vector<std::unique_ptr<ListeningPort>> listening;
    std::unique_ptr<SerialPort> spare;
    for (int number = 1; number <= count; ++number) {
        if (!spare)
            spare = factory_();
        spare->setPortNumber(number);
        spare->setReceiveThreshold(1);
        status[number] = spare->open();
        if (status[number] != 0)
            continue;
        auto entry = std::make_unique<ListeningPort>();
        entry->number = number;
        entry->port = std::move(spare);
        listening.push_back(std::move(entry));
    }
    if (listening.empty())
        return status;

    QEventLoop loop;
    int pending = static_cast<int>(listening.size());
    auto finish = [&](ListeningPort& p) {
        if (p.done)
            return;
        p.done = true;
        p.quiet->stop();
        p.received += p.port->readAll();
        status[p.number] = p.received.contains("OK") ? PortStatus::Modem : PortStatus::Free;
        p.port->close();
        if (--pending == 0)
            loop.quit();
    };
    for (auto& p : listening) {
        ListeningPort* raw = p.get();
        raw->quiet = std::make_unique<QTimer>();
        raw->quiet->setSingleShot(true);
        // A coarse timer may fire early; the line must have been quiet the full time.
        raw->quiet->setTimerType(Qt::PreciseTimer);
        raw->quiet->setInterval(kQuietMs);
        QObject::connect(raw->quiet.get(), &QTimer::timeout, [raw, &finish] { finish(*raw); });
        QObject::connect(raw->port.get(), &SerialPort::commEvent, [raw] {
            if (raw->done)
                return;
            raw->received += raw->port->readAll();
            raw->quiet->start();
        });
        QObject::connect(raw->port.get(), &SerialPort::deviceLost,
                         [raw, &finish](int) { finish(*raw); });
        raw->quiet->start();
        if (raw->port->write(QByteArrayLiteral("ATV1\r\n")) != 0)
            finish(*raw);
    }
    finishAll_ = [&] {
        for (auto& p : listening)
            finish(*p);
    };
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [this] { finishAll_(); });
    limit.start(kMaxListenMs);
    if (pending > 0)
        loop.exec(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    finishAll_ = nullptr;
    return status;
}

void PortProbe::stop() {
    if (finishAll_)
        finishAll_();
}

PortListing buildPortListing(const QVector<int>& status, int savedPort) {
    PortListing listing;
    QString savedEntry;
    for (int i = 0; i <= 10 && i < status.size(); ++i) {
        QString text = QStringLiteral("COM%1").arg(i);
        if (status[i] == PortStatus::Modem)
            text += QStringLiteral(" (MODEM)");
        else if (status[i] == PortStatus::InUse)
            text += QStringLiteral(" (OCUPADO)");
        else if (status[i] != PortStatus::Free)
            continue;
        listing.entries.append({text, i});
        if (i == savedPort)
            savedEntry = text;
    }
    if (savedPort >= 0 && savedPort <= 10) {
        listing.portNumberText = QString::number(savedPort);
        listing.comboText = savedEntry;
    }
    if (listing.entries.isEmpty())
        listing.comboText = kNoPortFound;
    return listing;
}

} // namespace quillon
