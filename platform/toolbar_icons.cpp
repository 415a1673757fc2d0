#include "platform/toolbar_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quillon {

namespace {

void drawUpArrow(QPainter& p) {
    QPainterPath path;
    path.moveTo(16, 3);
    path.lineTo(27, 15);
    path.lineTo(20, 15);
    path.lineTo(20, 28);
    path.lineTo(12, 28);
    path.lineTo(12, 15);
    path.lineTo(5, 15);
    path.closeSubpath();
    p.drawPath(path);
}

void drawScreen(QPainter& p, const QColor& text) {
    p.setBrush(QColor(30, 30, 30));
    p.drawRoundedRect(3, 5, 26, 20, 3, 3);
    p.setPen(QPen(text, 2));
    p.drawLine(7, 11, 11, 14);
    p.drawLine(11, 14, 7, 17);
    p.drawLine(13, 18, 20, 18);
}

void drawLetters(QPainter& p, const QString& letters, const QColor& back) {
    p.setBrush(back);
    p.drawRoundedRect(2, 4, 28, 24, 4, 4);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(letters.size() > 2 ? 9 : 13);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(2, 4, 28, 24), Qt::AlignCenter, letters);
}

} // namespace

QIcon toolbarIcon(const QString& key) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 1.2));
    if (key == QLatin1String("TERMINAL")) {
        drawScreen(p, QColor(80, 220, 80));
    } else if (key == QLatin1String("XMODEM")) {
        p.setBrush(QColor(60, 120, 200));
        drawUpArrow(p);
    } else if (key == QLatin1String("ABRIR")) {
        p.setBrush(QColor(235, 190, 70));
        p.drawRect(3, 10, 26, 17);
        p.drawRect(3, 6, 10, 5);
    } else if (key == QLatin1String("ENVIAR")) {
        p.setBrush(QColor(60, 160, 70));
        drawUpArrow(p);
    } else if (key == QLatin1String("CANCEL")) {
        p.setPen(QPen(QColor(200, 40, 40), 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(8, 8, 24, 24);
        p.drawLine(24, 8, 8, 24);
    } else if (key == QLatin1String("LIMPAR")) {
        p.setBrush(Qt::white);
        p.drawRect(7, 3, 18, 26);
        p.setPen(QPen(QColor(220, 60, 60), 3));
        p.drawLine(4, 28, 28, 4);
    } else if (key == QLatin1String("VARIAVEIS")) {
        drawLetters(p, QStringLiteral("V"), QColor(40, 110, 180));
    } else if (key == QLatin1String("PARAMETROS")) {
        drawLetters(p, QStringLiteral("P"), QColor(120, 80, 170));
    } else if (key == QLatin1String("RELATORIO")) {
        drawLetters(p, QStringLiteral("R"), QColor(30, 140, 120));
    } else if (key == QLatin1String("TESTARCOM")) {
        drawLetters(p, QStringLiteral("TX"), QColor(190, 110, 30));
    } else if (key == QLatin1String("MODBUS")) {
        drawLetters(p, QStringLiteral("MB"), QColor(90, 90, 90));
    } else if (key == QLatin1String("ENTRAR_YZTW")) {
        drawLetters(p, QStringLiteral("YZ?"), QColor(50, 130, 60));
    } else if (key == QLatin1String("ENVIAR_YZTW")) {
        drawLetters(p, QStringLiteral("YZ>"), QColor(170, 60, 60));
    }
    p.end();
    return QIcon(pixmap);
}

QPixmap makerLogo(const QSize& size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area(1, 1, size.width() - 2, size.height() - 2);
    QLinearGradient shade(area.topLeft(), area.bottomRight());
    shade.setColorAt(0, QColor(20, 70, 140));
    shade.setColorAt(1, QColor(10, 40, 90));
    p.setBrush(shade);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(area, 6, 6);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(std::max(10, size.height() / 2));
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(area, Qt::AlignCenter, QStringLiteral("PXC"));
    p.end();
    return pixmap;
}

QPixmap programIcon(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 64.0, side / 64.0); // drawn on a 64 x 64 grid
    p.setPen(QPen(QColor(0x9a, 0xa9, 0xb8), 1.5));
    p.setBrush(QColor(0xee, 0xf2, 0xf6));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);

    QPainterPath arrow;
    arrow.moveTo(32, 5);
    arrow.lineTo(46, 20);
    arrow.lineTo(37.5, 20);
    arrow.lineTo(37.5, 33);
    arrow.lineTo(26.5, 33);
    arrow.lineTo(26.5, 20);
    arrow.lineTo(18, 20);
    arrow.closeSubpath();
    QLinearGradient green(0, 33, 0, 5);
    green.setColorAt(0, QColor(0x2e, 0x9e, 0x4f));
    green.setColorAt(1, QColor(0x5f, 0xd1, 0x7e));
    p.setPen(QPen(QColor(0x1f, 0x6e, 0x37), 1.2));
    p.setBrush(green);
    p.drawPath(arrow);

    QPainterPath shell;
    shell.moveTo(8, 36);
    shell.lineTo(56, 36);
    shell.lineTo(54, 57);
    shell.lineTo(10, 57);
    shell.closeSubpath();
    QLinearGradient blue(0, 36, 0, 57);
    blue.setColorAt(0, QColor(0x5b, 0x7f, 0xa6));
    blue.setColorAt(1, QColor(0x2f, 0x4a, 0x68));
    p.setPen(QPen(QColor(0x1d, 0x2f, 0x44), 1.5));
    p.setBrush(blue);
    p.drawPath(shell);

    p.setPen(QPen(QColor(0x9c, 0x7a, 0x14), 0.6));
    p.setBrush(QColor(0xf2, 0xc9, 0x4c));
    for (int pin = 0; pin < 9; ++pin) {
        const bool top = pin < 5;
        const double x = top ? 18 + 7 * pin : 21.5 + 7 * (pin - 5);
        p.drawEllipse(QPointF(x, top ? 44 : 50), 2.1, 2.1);
    }
    p.end();
    return pixmap;
}

} // namespace quillon
