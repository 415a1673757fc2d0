#include "platform/qt_dialogs.h"
#include "platform/qt_translations.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace quillon;

namespace {

// As a technician reads it: no mnemonic marks, no shortcut after a tab.
QString readable(QString text) {
    return text.section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
}

// Every word Qt itself puts in the open dialog and in a text box's own menu.
QStringList qtOwnTexts() {
    QStringList texts;
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        texts << readable(label->text());
    for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
        texts << readable(button->text());
    for (const QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>()) {
        const QAbstractItemModel* model = view->model();
        for (int column = 0; column < model->columnCount(); ++column)
            texts << model->headerData(column, Qt::Horizontal).toString();
        for (int row = 0; row < model->rowCount(); ++row)
            texts << model->index(row, 0).data().toString();
    }
    QLineEdit edit;
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    for (const QAction* action : menu->actions())
        texts << readable(action->text());
    return texts;
}

// Runs the box and hands it to `look` before closing it.
void whileShown(const std::function<void()>& show, const std::function<void(QWidget&)>& look) {
    QTimer::singleShot(0, [look] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            look(*box);
            box->close();
        }
    });
    show();
}

} // namespace

class TstQtTexts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void qtOwnTextsArePortuguese_data();
    void qtOwnTextsArePortuguese();
    void boxesShowTextAsItIs_data();
    void boxesShowTextAsItIs();
};

void TstQtTexts::initTestCase() {
    // The user's locale does not matter: the program's language is Portuguese.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(installQtTranslations(*qApp));
}

void TstQtTexts::qtOwnTextsArePortuguese_data() {
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("portuguese");
    const char* pairs[][2] = {
        {"Look in:", "Procurar em:"},
        {"File name:", "Nome do arquivo:"},
        {"Files of type:", "Arquivos do tipo:"},
        {"Open", "Abrir"},
        {"Cancel", "Cancelar"},
#ifdef Q_OS_WIN
        {"My Computer", "Meu computador"},
#else
        {"Computer", "Computador"},
#endif
        {"Name", "Nome"},
        {"Size", "Tamanho"},
        {"Type", "Tipo"},
        {"Date Modified", "Data de modificação"},
        {"Undo", "Desfazer"},
        {"Copy", "Copiar"},
        {"Paste", "Colar"},
        {"Select All", "Selecionar tudo"},
    };
    for (const auto& pair : pairs)
        QTest::newRow(pair[0]) << QString::fromUtf8(pair[0]) << QString::fromUtf8(pair[1]);
}

void TstQtTexts::qtOwnTextsArePortuguese() {
    QFETCH(QString, english);
    QFETCH(QString, portuguese);
    const QStringList texts = qtOwnTexts();
    QVERIFY2(texts.contains(portuguese), qPrintable(texts.join(QLatin1String(" | "))));
    QVERIFY(!texts.contains(english));
}

void TstQtTexts::boxesShowTextAsItIs_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("message") << 0;
    QTest::newRow("yes or no") << 1;
    QTest::newRow("input box prompt") << 2;
}

// An answer, a file name or received text holding markup is shown, not rendered.
void TstQtTexts::boxesShowTextAsItIs() {
    QFETCH(int, kind);
    const QString text = QStringLiteral("<i>7</i> & <b>");
    QtDialogs dialogs;
    int seen = 0;
    int asItIs = 0;
    whileShown(
        [&] {
            if (kind == 2)
                dialogs.inputBox(text, QStringLiteral("Quillon"), QStringLiteral("<i>7"));
            else
                dialogs.message(QStringLiteral("Quillon"), text, MessageIcon::Exclamation,
                                kind == 0 ? MessageButtons::Ok : MessageButtons::YesNo);
        },
        [&](QWidget& box) {
            for (const QLabel* label : box.findChildren<QLabel*>()) {
                if (label->text() != text)
                    continue;
                ++seen;
                // Automatic format renders it: the tags vanish and leave "7 & " in italics.
                if (label->textFormat() == Qt::PlainText)
                    ++asItIs;
            }
        });
    QCOMPARE(seen, 1);
    QCOMPARE(asItIs, 1);
}

QTEST_MAIN(TstQtTexts)
#include "tst_qt_texts.moc"
