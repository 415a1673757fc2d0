#include <QTest>
class TstTextHelpers : public QObject { Q_OBJECT };
QTEST_MAIN(TstTextHelpers)
#include "tst_text_helpers.moc"
