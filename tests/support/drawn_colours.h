#pragma once

#include <QColor>
#include <QString>

class QWidget;

namespace quillon::test {

// The colours a text field is drawn in, read from its picture: the background is the
// commonest colour inside its frame, the text the one that stands out from it most.
struct DrawnColours {
    QColor background;
    QColor text;
};
DrawnColours drawnColours(QWidget& field);

// The application's style for one test; the one before comes back after it.
class StyleForTest {
public:
    explicit StyleForTest(const QString& name);
    ~StyleForTest();
    StyleForTest(const StyleForTest&) = delete;
    StyleForTest& operator=(const StyleForTest&) = delete;

private:
    QString former_;
};

// A "style" column for test data, and a row for each style the platform has: Fusion
// on Linux, windowsvista on Windows, and the plain Windows style on both.
void addStyleRows();

// WCAG contrast ratio, 1 (none) to 21 (black on white); 4.5 is the least for text.
double contrastRatio(const QColor& a, const QColor& b);

} // namespace quillon::test
