#include "platform/qt_serial_port.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include "platform/reply_reader.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace quillon {

QtSerialPortDevice::QtSerialPortDevice(PortMap map, QObject* parent)
    : SerialPort(parent), map_(std::move(map)) {
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialPortDevice::announceArrival);
    connect(&port_, &QSerialPort::bytesWritten, this, &QtSerialPortDevice::onBytesWritten);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPortDevice::onError);
}

QtSerialPortDevice::~QtSerialPortDevice() {
    if (!port_.isOpen())
        return;
    // QSerialPort puts the old line settings back as it closes: not under bytes still
    // on the wire.
    closeWithoutEventLoop();
}

int QtSerialPortDevice::applySettings(const QString& text, const PortSettings& settings) {
    settingsText_ = text;
    settings_ = settings;
    return port_.isOpen() ? applyLineSettings() : PortError::None;
}

int QtSerialPortDevice::applyLineSettings() {
    const bool ok = port_.setBaudRate(settings_.baudRate) && port_.setParity(settings_.parity) &&
                    port_.setDataBits(settings_.dataBits) && port_.setStopBits(settings_.stopBits);
    return ok ? PortError::None : PortError::SetStateFailed;
}

QString QtSerialPortDevice::deviceName() const {
    const QString path = map_.devicePath(number_);
    // Windows' own name for COMn says no more than the number.
    return path == QStringLiteral("\\\\.\\COM%1").arg(number_) ? QString() : path;
}

int QtSerialPortDevice::openDevice() {
    if (port_.isOpen())
        return PortError::AlreadyOpen;
    const QString path = map_.devicePath(number_);
    if (path.isEmpty())
        return PortError::InvalidPortNumber;
    port_.setPortName(path);
    port_.setBaudRate(settings_.baudRate);
    port_.setParity(settings_.parity);
    port_.setDataBits(settings_.dataBits);
    port_.setStopBits(settings_.stopBits);
    port_.clearError();
    if (!port_.open(QIODevice::ReadWrite))
        return openErrorNumber(path);
    lost_ = false;
    readAhead_.clear();
    firedBeforeStop_.reset();
    return PortError::None;
}

int QtSerialPortDevice::openErrorNumber(const QString& path) const {
    switch (port_.error()) {
    case QSerialPort::DeviceNotFoundError:
        return PortError::InvalidPortNumber;
    case QSerialPort::PermissionError:
#ifndef Q_OS_WIN
        // QSerialPort says PermissionError both for a lock held by another
        // program and for missing rights; only the second needs the user to act.
        if (::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0 && errno == EACCES)
            return PortError::PermissionDenied;
#endif
        return PortError::PortInUse;
    case QSerialPort::UnsupportedOperationError:
        return PortError::SetStateFailed;
    default:
        return QFileInfo::exists(path) ? PortError::InvalidDevice : PortError::InvalidPortNumber;
    }
}

void QtSerialPortDevice::closeDevice() {
    stopReplyReading();
    readAhead_.clear();
    firedBeforeStop_.reset();
    // What QSerialPort still holds would be dropped; the drain has waited for it.
    if (port_.bytesToWrite() > 0)
        port_.flush();
    port_.close();
}

qint64 QtSerialPortDevice::bytesInTransit() const {
    if (!port_.isOpen())
        return 0;
    qint64 queued = port_.bytesToWrite();
#ifdef Q_OS_WIN
    DWORD errors = 0;
    COMSTAT status{};
    if (::ClearCommError(reinterpret_cast<HANDLE>(port_.handle()), &errors, &status))
        queued += status.cbOutQue;
#else
    int inDriver = 0;
    if (::ioctl(port_.handle(), TIOCOUTQ, &inDriver) == 0 && inDriver > 0)
        queued += inDriver;
#endif
    return queued;
}

void QtSerialPortDevice::discardOutput() {
    if (!port_.isOpen())
        return;
    // Qt's own buffer and the driver's queue (tcflush, PurgeComm).
    port_.clear(QSerialPort::Output);
}

void QtSerialPortDevice::drainDevice() {
    if (!port_.isOpen())
        return;
        // By now the line time has passed and the driver's queue is empty, so these return
        // at once on a UART; a USB adapter's own chip is covered by the line time.
#ifdef Q_OS_WIN
    ::FlushFileBuffers(reinterpret_cast<HANDLE>(port_.handle()));
#else
    ::tcdrain(port_.handle());
#endif
}

void QtSerialPortDevice::setReceiveThreshold(int threshold) {
    receiveThreshold_ = threshold;
    // With events every chunk is read as it comes; without them nobody reads until
    // asked, and a window left open on a chattering line must not fill memory.
    port_.setReadBufferSize(threshold < 1 ? kUnreadHold : 0);
    // Setting the size restarts QSerialPort's reading.
    quietQtReading();
}

QByteArray QtSerialPortDevice::readDevice() {
    if (!port_.isOpen())
        return {};
    QByteArray data = std::exchange(readAhead_, {});
#ifndef Q_OS_WIN
    if (reader_) {
        data += reader_->takeReceived();
        // What came after an armed write is the next read's, with an event of its own.
        if (reader_->receivedSize() > 0)
            postReaderNews();
        return data;
    }
#endif
    return data + port_.readAll();
}

QByteArray QtSerialPortDevice::unreadBytes() {
#ifndef Q_OS_WIN
    if (reader_)
        return readAhead_ + reader_->peekReceived();
#endif
    return readAhead_ + port_.peek(port_.bytesAvailable());
}

bool QtSerialPortDevice::startReplyReading() {
#ifdef Q_OS_WIN
    // Overlapped reads have no descriptor to wait on from a thread of our own.
    return false;
#else
    if (reader_)
        return true;
    if (!port_.isOpen())
        return false;
    // Read first: QSerialPort restarts its notifier on every read.
    readAhead_ += port_.readAll();
    reader_ =
        std::make_unique<ReplyReader>(port_.handle(), kUnreadHold, [this] { postReaderNews(); });
    // Two readers would share out the replies between them: QSerialPort's must be
    // found, and off.
    const QList<QSocketNotifier*> qtReaders = qtReadNotifiers();
    quietQtReading();
    if (qtReaders.isEmpty() || !reader_->start()) {
        reader_.reset();
        resumeQtReading();
        return false;
    }
    return true;
#endif
}

void QtSerialPortDevice::stopReplyReading() {
#ifndef Q_OS_WIN
    if (!reader_)
        return;
    reader_->stop();
    if (const std::optional<FiredWrite> fired = withdrawReaderWrite())
        firedBeforeStop_ = fired;
    readAhead_ += reader_->peekReceived();
    reader_.reset();
    resumeQtReading();
    // Bytes the reader took after its last news are still to be announced.
    if (!readAhead_.isEmpty())
        postReaderNews();
#endif
}

bool QtSerialPortDevice::armDeviceWrite(char trigger, const QByteArray& bytes) {
    firedBeforeStop_.reset();
#ifndef Q_OS_WIN
    // Bytes QSerialPort still holds would be overtaken.
    if (reader_ && !reader_->failed() && port_.bytesToWrite() == 0) {
        reader_->arm(trigger, bytes);
        return true;
    }
#else
    Q_UNUSED(trigger);
    Q_UNUSED(bytes);
#endif
    return false;
}

std::optional<SerialPort::FiredWrite> QtSerialPortDevice::withdrawDeviceWrite() {
#ifndef Q_OS_WIN
    if (reader_)
        return withdrawReaderWrite();
#endif
    return std::exchange(firedBeforeStop_, std::nullopt);
}

#ifndef Q_OS_WIN
std::optional<SerialPort::FiredWrite> QtSerialPortDevice::withdrawReaderWrite() {
    const std::optional<ReplyReader::Fired> fired = reader_->withdraw();
    if (!fired)
        return std::nullopt;
    return FiredWrite{fired->written, fired->error != 0, fired->at};
}
#endif

QList<QSocketNotifier*> QtSerialPortDevice::qtReadNotifiers() {
    QList<QSocketNotifier*> readers =
        port_.findChildren<QSocketNotifier*>(Qt::FindDirectChildrenOnly);
    readers.removeIf(
        [](const QSocketNotifier* notifier) { return notifier->type() != QSocketNotifier::Read; });
    return readers;
}

void QtSerialPortDevice::quietQtReading() {
#ifndef Q_OS_WIN
    if (!reader_)
        return;
    for (QSocketNotifier* notifier : qtReadNotifiers())
        notifier->setEnabled(false);
#endif
}

void QtSerialPortDevice::resumeQtReading() {
    if (port_.isOpen())
        port_.setReadBufferSize(port_.readBufferSize());
}

void QtSerialPortDevice::postReaderNews() {
    if (!readerNewsPosted_.exchange(true))
        QMetaObject::invokeMethod(this, &QtSerialPortDevice::onReaderNews, Qt::QueuedConnection);
}

void QtSerialPortDevice::onReaderNews() {
    readerNewsPosted_ = false;
#ifndef Q_OS_WIN
    // The device went away under the reader: QSerialPort's own read finds out and says so.
    if (reader_ && reader_->failed())
        stopReplyReading();
#endif
    if (port_.isOpen() && !unreadBytes().isEmpty())
        announceArrival();
}

int QtSerialPortDevice::writeDevice(const QByteArray& data) {
    if (!port_.isOpen())
        return PortError::PortNotOpen;
    QByteArray rest = data;
#ifndef Q_OS_WIN
    // Straight into the driver while QSerialPort holds nothing back: a receiver waits
    // for this block from the moment it answered the last one, and QSerialPort's own
    // buffer would first take a turn of its write notifier and a signal. What the
    // driver does not take, and any failure, goes the usual way.
    if (port_.bytesToWrite() == 0 && !data.isEmpty()) {
        const ssize_t written = ::write(port_.handle(), data.constData(), data.size());
        if (written == data.size()) {
            announceOutputEmptied();
            return PortError::None;
        }
        if (written > 0)
            rest = data.mid(written);
    }
#endif
    if (port_.write(rest) != rest.size())
        return PortError::DeviceLost;
    // Into the driver now, not on the event loop's next turn: a block's reply
    // cannot come before the block has left, so the wait would be that much longer.
    port_.flush();
    return PortError::None;
}

void QtSerialPortDevice::announceOutputEmptied() {
    if (sendThreshold_ < 1)
        return;
    // After the writer's own work, as QSerialPort's signal would come.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!port_.isOpen() || port_.bytesToWrite() > 0)
                return;
            eventCode_ = static_cast<int>(CommEventCode::Send);
            Q_EMIT commEvent();
        },
        Qt::QueuedConnection);
}

qint64 QtSerialPortDevice::bytesWaiting() const {
    if (!port_.isOpen())
        return 0;
#ifndef Q_OS_WIN
    if (reader_)
        return readAhead_.size() + reader_->receivedSize();
#endif
    return readAhead_.size() + port_.bytesAvailable();
}

void QtSerialPortDevice::announceArrival() {
    if (receiveThreshold_ < 1) {
        if (lineTap())
            arrivedUnread(unreadBytes());
        return;
    }
    eventCode_ = static_cast<int>(CommEventCode::Receive);
    Q_EMIT commEvent();
}

void QtSerialPortDevice::onBytesWritten() {
    if (sendThreshold_ < 1 || port_.bytesToWrite() > 0)
        return;
    eventCode_ = static_cast<int>(CommEventCode::Send);
    Q_EMIT commEvent();
}

void QtSerialPortDevice::onError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError &&
        error != QSerialPort::WriteError)
        return;
    // A vanished device keeps signalling ReadError in a tight loop while it
    // stays open; close it once, outside QSerialPort's own notifier, and say so once.
    if (lost_ || !port_.isOpen())
        return;
    lost_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            stopReplyReading();
            port_.close();
            eventCode_ = static_cast<int>(CommEventCode::Error);
            Q_EMIT deviceLost(PortError::DeviceLost);
        },
        Qt::QueuedConnection);
}

PortFactory qtPortFactory(const PortMap& map) {
    return [map] { return std::make_unique<QtSerialPortDevice>(map); };
}

} // namespace quillon
