#include "transfer/frm_wait.h"

#include "core/text_helpers.h"
#include "platform/screen_place.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace quillon {

namespace {

// A handset over two waves: the line is being dialled.
QPixmap dialPicture() {
    QPixmap pixmap(48, 48);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 70, 140), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRect(30, 4, 14, 14), -30 * 16, 120 * 16);
    p.drawArc(QRect(26, 0, 22, 22), -30 * 16, 120 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 30));
    QPainterPath handset;
    handset.moveTo(6, 30);
    handset.cubicTo(6, 18, 18, 12, 26, 22);
    handset.lineTo(22, 26);
    handset.cubicTo(18, 22, 12, 26, 14, 32);
    handset.lineTo(10, 40);
    handset.closeSubpath();
    p.drawPath(handset);
    p.end();
    return pixmap;
}

} // namespace

FrmWait::FrmWait(Session& session, ModemLink& modem, QWidget* parent)
    : QDialog(parent), session_(session), modem_(modem) {
    setObjectName(QStringLiteral("frmWait"));
    setWindowTitle(QStringLiteral("Conectando ao Modem"));
    setModal(true);
    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(dialPicture());
    auto* label = new QLabel(QStringLiteral("Conectando ao Modem. Aguarde..."), this);
    label->setObjectName(QStringLiteral("Label1"));
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(image);
    layout->addWidget(label);
    dialStart_.setInterval(500);
    dialStart_.setSingleShot(true);
    connect(&dialStart_, &QTimer::timeout, this, &FrmWait::timer1Tick);
}

QString FrmWait::dial() {
    session_.modem.modemResult.clear();
    session_.modem.modemAbort = false;
    exec();
    return session_.modem.modemResult;
}

void FrmWait::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
    dialStart_.start();
}

void FrmWait::timer1Tick() {
    dialStart_.stop();
    const SettingsValues& settings = session_.settings;
    const QString command = dialCommand(settings);
    for (;;) {
        const QString result = modem_.modemCommand(command, kDialLimitSeconds);
        if (result.contains(QLatin1String("CONNECT"))) {
            session_.modem.modemResult.clear();
            accept();
            return;
        }
        if (session_.modem.modemAbort) {
            session_.modem.modemResult = ModemLink::kDialGaveUp;
            done(QDialog::Rejected);
            return;
        }
        const MessageAnswer again = session_.dialogs.message(
            QStringLiteral("Conexão com o Modem"),
            QStringLiteral("Não foi possível conectar ao telefone ") + settings.phoneNumber +
                QStringLiteral("!") + kCrLf + QStringLiteral("Deseja tentar novamente?"),
            MessageIcon::None, MessageButtons::YesNo);
        if (again != MessageAnswer::Yes) {
            session_.modem.modemAbort = true;
            session_.waiter.cancel();
            session_.modem.modemResult = ModemLink::kDialGaveUp;
            done(QDialog::Rejected);
            return;
        }
    }
}

void FrmWait::giveUp() {
    session_.modem.modemAbort = true;
    session_.waiter.cancel(); // the running half-second wait returns at once
    session_.modem.modemResult = ModemLink::kDialGaveUp;
    done(QDialog::Rejected);
}

void FrmWait::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        giveUp();
        return;
    }
    event->ignore(); // other keys do nothing
}

void FrmWait::reject() {
    // The close box gives up like Esc, so a dial never runs on unseen.
    giveUp();
}

} // namespace quillon
