#include "tests/support/drawn_colours.h"

#include <QApplication>
#include <QHash>
#include <QImage>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace quillon::test {

namespace {

double luminance(const QColor& colour) {
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

} // namespace

StyleForTest::StyleForTest(const QString& name) : former_(QApplication::style()->name()) {
    QApplication::setStyle(name);
}

StyleForTest::~StyleForTest() {
    QApplication::setStyle(former_);
}

void addStyleRows() {
    QTest::addColumn<QString>("style");
    for (const QString& style : QStyleFactory::keys())
        QTest::newRow(qPrintable(style)) << style;
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

DrawnColours drawnColours(QWidget& field) {
    const QImage picture = field.grab().toImage();
    // Inside the frame, which styles draw in colours of their own.
    const QRect inside = picture.rect().adjusted(3, 3, -3, -3);
    QHash<QRgb, int> counts;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++counts[picture.pixel(x, y)];
    DrawnColours drawn;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            drawn.background = QColor(it.key());
        }
    }
    drawn.text = drawn.background;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        const QColor colour(it.key());
        if (contrastRatio(colour, drawn.background) > contrastRatio(drawn.text, drawn.background))
            drawn.text = colour;
    }
    return drawn;
}

} // namespace quillon::test
