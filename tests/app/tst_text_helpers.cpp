#include "core/error_report.h"
#include "core/settings_file.h"
#include "core/text_file.h"
#include "core/text_helpers.h"
#include "platform/cp1252.h"
#include "platform/paths.h"
#include "platform/port_settings.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/odd_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>

using namespace quillon;

class TstTextHelpers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void errorTexts_data();
    void errorTexts();
    void errorReportShowsNothingForZero();
    void getLine_data();
    void getLine();
    void getField_data();
    void getField();
    void replaceAll_data();
    void replaceAll();
    void leadingNumber_data();
    void leadingNumber();
    void toInt16_data();
    void toInt16();
    void writeAndReadTextFile();
    void readTextFileLineEnds_data();
    void readTextFileLineEnds();
    void textFileEncoding_data();
    void textFileEncoding();
    void settingsSurviveSaveAndLoad_data();
    void settingsSurviveSaveAndLoad();
    void textFileErrors();
    void failedReplaceKeepsOldFile();
    void notARegularFile_data();
    void notARegularFile();
    void failedReadKeepsTextSoFar();
    void cp1252RoundTripsEveryByte();
    void portSettings_data();
    void portSettings();
    void storedPaths_data();
    void storedPaths();
    void lineBytesPerCharacter_data();
    void lineBytesPerCharacter();
};

void TstTextHelpers::errorTexts_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("exclamation");
    const QString port = QStringLiteral("ERRO na Porta de Comunicação");
    const QString disk = QStringLiteral("Erro de Disco");
    QTest::newRow("8005") << 8005 << port << QStringLiteral("Porta já esta em uso") << true;
    QTest::newRow("8010")
        << 8010 << port
        << QStringLiteral(
               "A porta especificada não esta disponível\r(bloqueada por outro programa).")
        << true;
    QTest::newRow("8006") << 8006 << port
                          << QStringLiteral(
                                 "O dispositivo especificado não é válido\rou não está disponível.")
                          << true;
    QTest::newRow("8000") << 8000 << port
                          << QStringLiteral("Operação não válida enquanto a porta estiver em uso")
                          << true;
    QTest::newRow("8001") << 8001 << port
                          << QStringLiteral("Timeout value must be greater than zero") << true;
    QTest::newRow("8002") << 8002 << port << QStringLiteral("Número da porta inválido") << true;
    QTest::newRow("8003") << 8003 << port
                          << QStringLiteral("Propriedade disponível somente em tempo de execução")
                          << true;
    QTest::newRow("8004") << 8004 << port
                          << QStringLiteral("Propriedade é lida somente em tempo de execução")
                          << true;
    QTest::newRow("8007") << 8007 << port << QStringLiteral("Baud rate não existe") << true;
    QTest::newRow("8008") << 8008 << port
                          << QStringLiteral("O tamanho do byte especificado não é válido") << true;
    QTest::newRow("8009") << 8009 << port << QStringLiteral("The default parameters are in error")
                          << true;
    QTest::newRow("8011") << 8011 << port
                          << QStringLiteral("The function cannot allocate the queues") << true;
    QTest::newRow("8012") << 8012 << port << QStringLiteral("O dispositivo não esta aberto")
                          << true;
    QTest::newRow("8013") << 8013 << port << QStringLiteral("O dispositivo já esta aberto") << true;
    QTest::newRow("8014") << 8014 << port << QStringLiteral("Could not enable comm notification")
                          << true;
    QTest::newRow("8015") << 8015 << port
                          << QStringLiteral("não foi possível acertar o estado da COM") << true;
    QTest::newRow("8016") << 8016 << port << QStringLiteral("Could not set comm event mask")
                          << true;
    QTest::newRow("8018") << 8018 << port
                          << QStringLiteral("Uma porta de comunicação válida deve ser selecionada")
                          << true;
    QTest::newRow("8019") << 8019 << port << QStringLiteral("Device busy") << true;
    QTest::newRow("8020") << 8020 << port << QStringLiteral("Erro de leitura no dispositivo da COM")
                          << true;
    QTest::newRow("53") << 53 << disk << QStringLiteral("Arquivo não encontrado.") << true;
    QTest::newRow("61") << 61 << disk << QStringLiteral("Disco cheio.") << true;
    QTest::newRow("64") << 64 << disk << QStringLiteral("Nome do arquivo errado.") << true;
    QTest::newRow("68") << 68 << disk << QStringLiteral("Dispositivo não disponível.") << true;
    QTest::newRow("70") << 70 << disk << QStringLiteral("Permissão negada.") << true;
    QTest::newRow("71") << 71 << disk << QStringLiteral("Erro de leitura no disco.") << true;
    QTest::newRow("74") << 74 << disk
                        << QStringLiteral("O nome não pode ser renomeado\r\ncom drive diferente.")
                        << true;
    QTest::newRow("75") << 75 << disk << QStringLiteral("Caminho ou arquivo especificado inválido.")
                        << true;
    QTest::newRow("76") << 76 << disk << QStringLiteral("Caminho não encontrado.") << true;
    QTest::newRow("52 platform text")
        << 52 << disk << QStringLiteral("Bad file name or number") << true;
    QTest::newRow("57 platform text") << 57 << disk << QStringLiteral("Device I/O error") << true;
    QTest::newRow("13 other") << 13 << QStringLiteral(" ERRO") << QStringLiteral("Type mismatch")
                              << false;
    QTest::newRow("unknown other")
        << 31999 << QStringLiteral(" ERRO")
        << QStringLiteral("Application-defined or object-defined error") << false;
    QTest::newRow("8017 no icon") << 8017 << port << QString() << false;
}

void TstTextHelpers::errorTexts() {
    QFETCH(int, number);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(bool, exclamation);
    test::FakeDialogs dialogs;
    showLastError(dialogs, number);
    QCOMPARE(dialogs.messages.size(), 1);
    QCOMPARE(dialogs.messages[0].title, title);
    if (!text.isEmpty())
        QCOMPARE(dialogs.messages[0].text, text);
    else
        QVERIFY(!dialogs.messages[0].text.isEmpty());
    QCOMPARE(dialogs.messages[0].icon == MessageIcon::Exclamation, exclamation);
    QCOMPARE(dialogs.messages[0].buttons, MessageButtons::Ok);
}

void TstTextHelpers::errorReportShowsNothingForZero() {
    test::FakeDialogs dialogs;
    showLastError(dialogs, 0);
    QVERIFY(dialogs.messages.isEmpty());
}

void TstTextHelpers::getLine_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("expected");
    const QString three = QStringLiteral("1\r\n9600,n,8,1\r\nx");
    QTest::newRow("second") << three << 2 << QStringLiteral("9600,n,8,1");
    QTest::newRow("third") << three << 3 << QStringLiteral("x");
    QTest::newRow("beyond") << three << 4 << QString();
    QTest::newRow("zero is first") << three << 0 << QStringLiteral("1");
    QTest::newRow("negative is first") << three << -5 << QStringLiteral("1");
    QTest::newRow("empty line") << QStringLiteral("a\r\n\r\nc") << 2 << QString();
    QTest::newRow("lone LF is not a break")
        << QStringLiteral("a\nb\r\nc") << 2 << QStringLiteral("c");
    QTest::newRow("empty text") << QString() << 1 << QString();
    QTest::newRow("trailing break") << QStringLiteral("a\r\n") << 2 << QString();
}

void TstTextHelpers::getLine() {
    QFETCH(QString, text);
    QFETCH(int, n);
    QFETCH(QString, expected);
    QCOMPARE(quillon::getLine(text, n), expected);
}

void TstTextHelpers::getField_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("expected");
    const QString s = QStringLiteral("9600,n,8,1");
    QTest::newRow("third") << s << 3 << QStringLiteral("8");
    QTest::newRow("beyond gives last") << s << 9 << QStringLiteral("1");
    QTest::newRow("zero gives first") << s << 0 << QStringLiteral("9600");
    QTest::newRow("quoted first") << QStringLiteral("\"A,B\",C") << 1 << QStringLiteral("A,B");
    QTest::newRow("after quoted") << QStringLiteral("\"A,B\",C") << 2 << QStringLiteral("C");
    QTest::newRow("unclosed quote runs to end")
        << QStringLiteral("x,\"A,B") << 2 << QStringLiteral("A,B");
    QTest::newRow("doubled quotes stay")
        << QStringLiteral("a\"\"b,c") << 1 << QStringLiteral("a\"\"b");
    QTest::newRow("spaces stay") << QStringLiteral(" a , b") << 2 << QStringLiteral(" b");
    QTest::newRow("empty field") << QStringLiteral("a,,c") << 2 << QString();
    QTest::newRow("empty text") << QString() << 3 << QString();
    QTest::newRow("trailing comma") << QStringLiteral("a,") << 2 << QString();
}

void TstTextHelpers::getField() {
    QFETCH(QString, text);
    QFETCH(int, n);
    QFETCH(QString, expected);
    QCOMPARE(quillon::getField(text, n), expected);
}

void TstTextHelpers::replaceAll_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("expected");
    QTest::newRow("remove spaces")
        << QStringLiteral("1, 2, 3") << QStringLiteral(" ") << QString() << QStringLiteral("1,2,3");
    QTest::newRow("empty find") << QStringLiteral("abc") << QString() << QStringLiteral("x")
                                << QStringLiteral("abc");
    QTest::newRow("replacement contains find") << QStringLiteral("aa") << QStringLiteral("a")
                                               << QStringLiteral("aa") << QStringLiteral("aaaa");
    QTest::newRow("overlapping left to right") << QStringLiteral("aaa") << QStringLiteral("aa")
                                               << QStringLiteral("b") << QStringLiteral("ba");
    QTest::newRow("no match") << QStringLiteral("abc") << QStringLiteral("z") << QStringLiteral("y")
                              << QStringLiteral("abc");
}

void TstTextHelpers::replaceAll() {
    QFETCH(QString, text);
    QFETCH(QString, find);
    QFETCH(QString, replacement);
    QFETCH(QString, expected);
    QCOMPARE(quillon::replaceAll(text, find, replacement), expected);
}

void TstTextHelpers::leadingNumber_data() {
    const double inf = qInf();
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::addColumn<int>("held"); // in a 16-bit field, rounded half to even
    QTest::newRow("plain") << QStringLiteral("1") << 1.0 << 1;
    QTest::newRow("blanks and sign") << QStringLiteral("  -3abc") << -3.0 << -3;
    QTest::newRow("point") << QStringLiteral("12.5") << 12.5 << 12;
    QTest::newRow("leading point") << QStringLiteral(".5") << 0.5 << 0;
    QTest::newRow("exponent") << QStringLiteral("1e3x") << 1000.0 << 1000;
    QTest::newRow("dangling exponent") << QStringLiteral("2e") << 2.0 << 2;
    QTest::newRow("comma stops") << QStringLiteral("1,5") << 1.0 << 1;
    QTest::newRow("text") << QStringLiteral("abc") << 0.0 << 0;
    QTest::newRow("empty") << QString() << 0.0 << 0;
    QTest::newRow("sign only") << QStringLiteral("-") << 0.0 << 0;
    QTest::newRow("above the field") << QStringLiteral("40000") << 40000.0 << 32767;
    // Beyond a double: the largest or smallest the field allows, never 0.
    QTest::newRow("huge") << QStringLiteral("1e999") << inf << 32767;
    QTest::newRow("400 nines") << QString(400, QLatin1Char('9')) << inf << 32767;
    QTest::newRow("minus 400 nines")
        << QLatin1Char('-') + QString(400, QLatin1Char('9')) << -inf << -32768;
    QTest::newRow("too small is 0") << QStringLiteral("1e-400") << 0.0 << 0;
}

void TstTextHelpers::leadingNumber() {
    QFETCH(QString, text);
    QFETCH(double, expected);
    QFETCH(int, held);
    const double value = quillon::leadingNumber(text);
    QCOMPARE(value, expected);
    QCOMPARE(quillon::roundWithin(value, -32768, 32767), qint64(held));
}

void TstTextHelpers::toInt16_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("expected");
    QTest::newRow("plain") << QStringLiteral("3") << true << 3;
    QTest::newRow("blanks") << QStringLiteral(" 12 ") << true << 12;
    QTest::newRow("half to even down") << QStringLiteral("2.5") << true << 2;
    QTest::newRow("half to even up") << QStringLiteral("3.5") << true << 4;
    QTest::newRow("max") << QStringLiteral("32767") << true << 32767;
    QTest::newRow("overflow") << QStringLiteral("32768") << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("garbage") << QStringLiteral("COM1") << false << 0;
    QTest::newRow("trailing text") << QStringLiteral("3abc") << false << 0;
}

void TstTextHelpers::toInt16() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, expected);
    const auto value = quillon::toInt16(text);
    QCOMPARE(value.has_value(), valid);
    if (valid)
        QCOMPARE(int(*value), expected);
}

void TstTextHelpers::writeAndReadTextFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.txt"));
    QCOMPARE(writeTextFile(path, QStringLiteral("um\r\ndois"), false), 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("um\r\ndois\r\n"));
    file.close();
    QCOMPARE(writeTextFile(path, QStringLiteral("tres"), true), 0);
    QCOMPARE(readTextFile(path).text, QStringLiteral("um\r\ndois\r\ntres"));
    QCOMPARE(writeTextFile(path, QStringLiteral("novo"), false), 0);
    QCOMPARE(readTextFile(path).text, QStringLiteral("novo"));
}

void TstTextHelpers::readTextFileLineEnds_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("three lines no final break")
        << QByteArray("a\r\nb\r\nc") << QStringLiteral("a\r\nb\r\nc");
    QTest::newRow("final break") << QByteArray("a\r\nb\r\n") << QStringLiteral("a\r\nb");
    QTest::newRow("final empty line") << QByteArray("a\r\n\r\n") << QStringLiteral("a\r\n");
    QTest::newRow("lone LF") << QByteArray("a\nb\n") << QStringLiteral("a\r\nb");
    QTest::newRow("lone CR") << QByteArray("a\rb") << QStringLiteral("a\r\nb");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("zero byte kept")
        << QByteArray("a\0b", 3) << QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b"));
}

void TstTextHelpers::readTextFileLineEnds() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const TextFileRead read = readTextFile(path);
    QCOMPARE(read.error, 0);
    QCOMPARE(read.text, expected);
}

void TstTextHelpers::textFileEncoding_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("cp1252 accents")
        << QStringLiteral("Ação €") << QByteArray("A\xE7\xE3o \x80\r\n");
    QTest::newRow("ascii") << QStringLiteral("9600,n,8,1") << QByteArray("9600,n,8,1\r\n");
    QTest::newRow("beyond cp1252 goes UTF-8")
        << QStringLiteral("ação Ω") << QString(QStringLiteral("ação Ω\r\n")).toUtf8();
    // As cp1252 these would be valid UTF-8 and read back as "C:\Medições\".
    QTest::newRow("cp1252 that reads as UTF-8 goes UTF-8")
        << QStringLiteral("C:\\MediÃ§Ãµes\\")
        << QString(QStringLiteral("C:\\MediÃ§Ãµes\\\r\n")).toUtf8();
    QTest::newRow("a leading byte-order mark kept behind one")
        << QString(QChar(QChar::ByteOrderMark)) + QStringLiteral("1")
        << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF"
                      "1\r\n");
}

void TstTextHelpers::textFileEncoding() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.txt"));
    QCOMPARE(writeTextFile(path, text, false), 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
    QCOMPARE(readTextFile(path).text, text);
}

namespace {

// Text of the kinds a settings value can hold: plain ASCII, Latin-1, cp1252's own
// 0x80-0x9F characters, characters cp1252 has no byte for, and cp1252 text whose
// bytes happen to be UTF-8 ("MediÃ§Ãµes"). Each value draws on the kinds in `mix`.
QString randomValue(QRandomGenerator& random, int mix) {
    static const QString kinds[] = {
        QStringLiteral(" 09AZaz,.\\:;-+()&\t"), QStringLiteral("çãõéíóúÁÉ°ªº«»¿×÷ÿ "),
        QStringLiteral("€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ\u0081\u008D\u008F\u0090\u009D"),
        QStringLiteral("őΩ中\uFEFF😀")};
    constexpr int kUtf8Lookalike = 4;
    QString value;
    const int length = random.bounded(0, 12);
    while (value.size() < length) {
        int kind = random.bounded(5);
        if (!(mix & (1 << kind)))
            kind = 0;
        if (kind == kUtf8Lookalike) {
            // A UTF-8 lead byte and its continuation, read as cp1252.
            const char pair[] = {static_cast<char>(random.bounded(0xC2, 0xE0)),
                                 static_cast<char>(random.bounded(0x80, 0xC0))};
            value += decodeCp1252(QByteArray(pair, 2));
            continue;
        }
        const QString& from = kinds[kind];
        qsizetype at = random.bounded(static_cast<int>(from.size()));
        // Both halves of a character beyond 16 bits, never one alone.
        if (from[at].isLowSurrogate())
            --at;
        value += from.mid(at, from[at].isHighSurrogate() ? 2 : 1);
    }
    return value;
}

} // namespace

void TstTextHelpers::settingsSurviveSaveAndLoad_data() {
    QTest::addColumn<QString>("workingDirectory"); // empty: random values throughout
    QTest::addColumn<QString>("phoneNumber");
    QTest::addColumn<int>("runs");
    QTest::newRow("accented folder") << QStringLiteral("C:\\MediÃ§Ãµes\\") << QString() << 1;
    QTest::newRow("degree sign") << QStringLiteral("C:\\") << QStringLiteral("55Â°1234") << 1;
    QTest::newRow("random text") << QString() << QString() << 2000;
}

void TstTextHelpers::settingsSurviveSaveAndLoad() {
    QFETCH(QString, workingDirectory);
    QFETCH(QString, phoneNumber);
    QFETCH(int, runs);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quillon.ini"));
    QRandomGenerator random(20260412);
    for (int run = 0; run < runs; ++run) {
        // Some files of every kind together, some of ASCII and one other kind only.
        const int mix = run % 2 ? 0x1F : 1 | (1 << random.bounded(1, 5));
        SettingsValues v;
        const bool fixed = !workingDirectory.isEmpty();
        for (QString* text :
             {&v.portNumber, &v.transferSettings, &v.terminalSettings, &v.programFile,
              &v.workingDirectory, &v.extraAtCommands, &v.phoneNumber})
            *text = fixed ? QStringLiteral("1") : randomValue(random, mix);
        if (fixed) {
            v.workingDirectory = workingDirectory;
            v.phoneNumber = phoneNumber;
        }
        v.useModem = random.bounded(2);
        QCOMPARE(saveSettingsFile(path, v, 8), 0);
        const auto loaded = loadSettingsFile(path, 8, dir.path());
        QVERIFY(loaded);
        // Every line as written; line 1 reaches the port box only through the port list.
        SettingsValues back = loaded->values;
        back.portNumber = loaded->portLine;
        QCOMPARE(formatSettings(back, 8), formatSettings(v, 8));
    }
}

void TstTextHelpers::textFileErrors() {
    QTemporaryDir dir;
    QCOMPARE(readTextFile(dir.filePath(QStringLiteral("missing.txt"))).error, 53);
    QCOMPARE(readTextFile(dir.filePath(QStringLiteral("no/such/dir/a.txt"))).error, 76);
    QCOMPARE(writeTextFile(dir.filePath(QStringLiteral("no/such/dir/a.txt")), QStringLiteral("x"),
                           false),
             76);
    QCOMPARE(readTextFile(dir.path()).error, 75);
    QVERIFY(readTextFile(dir.filePath(QStringLiteral("missing.txt"))).text.isEmpty());
}

void TstTextHelpers::failedReplaceKeepsOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quillon.ini"));
    QCOMPARE(writeTextFile(path, QStringLiteral("antigo"), false), 0);
    // A file size limit makes the write fail part way, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int error = writeTextFile(path, QString(100000, QLatin1Char('x')), false);
    setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(error != 0);
    QCOMPARE(readTextFile(path).text, QStringLiteral("antigo"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Quillon.ini")});
}

void TstTextHelpers::notARegularFile_data() {
    test::addOddFileRows();
}

void TstTextHelpers::notARegularFile() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quillon.hlp"));
    QVERIFY(test::makeOddFile(kind, path));
    QVERIFY(!isOpenableTextFile(path));
    // Neither blocks nor fills memory: unreadable, nothing read.
    const TextFileRead read = readTextFile(path);
    QCOMPARE(read.error, 75);
    QVERIFY(read.text.isEmpty());
    if (kind != QLatin1String("huge")) {
        // Nor is anything written through it.
        QCOMPARE(writeTextFile(path, QStringLiteral("x"), false), 75);
        QCOMPARE(writeTextFile(path, QStringLiteral("x"), true), 75);
        QVERIFY(!QFileInfo(path).isFile());
    }
    QVERIFY(!QFileInfo(QStringLiteral("/dev/zero")).isFile());
}

namespace {

// A device that gives some text and then fails, as a disk going bad does.
class FailingDevice : public QIODevice {
public:
    explicit FailingDevice(QByteArray first) : first_(std::move(first)) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (first_.isEmpty())
            return -1;
        const qint64 n = std::min<qint64>(maxSize, first_.size());
        std::copy_n(first_.constData(), n, data);
        first_.remove(0, n);
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray first_;
};

} // namespace

void TstTextHelpers::failedReadKeepsTextSoFar() {
    FailingDevice device("3\r\n9600,n,8,1\r\n1200,");
    const TextFileRead read = readTextFrom(device, QStringLiteral("/x/Quillon.ini"));
    QVERIFY(read.error != 0);
    QCOMPARE(read.text, QStringLiteral("3\r\n9600,n,8,1\r\n1200,"));
}

void TstTextHelpers::cp1252RoundTripsEveryByte() {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString text = decodeCp1252(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(text.at(0x80), QChar(0x20AC));
    QCOMPARE(text.at(0xE7), QChar(0xE7));
    const auto back = encodeCp1252(text);
    QVERIFY(back.has_value());
    QCOMPARE(*back, all);
    QVERIFY(!encodeCp1252(QStringLiteral("Ω")).has_value());
}

void TstTextHelpers::lineBytesPerCharacter_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("cp1252") << QStringLiteral("ação €") << QByteArray("a\xE7\xE3o \x80");
    QTest::newRow("one outside") << QStringLiteral("€ő") << QByteArray("\x80?");
    QTest::newRow("outside first") << QStringLiteral("Ωé") << QByteArray("?\xE9");
    QTest::newRow("beyond 16 bits is one") << QStringLiteral("a😀b") << QByteArray("a?b");
    QTest::newRow("a lone half") << QString(QChar(0xD83D)) + QLatin1Char('x') << QByteArray("?x");
    QTest::newRow("undefined in cp1252 kept") << QStringLiteral("\u0081") << QByteArray("\x81");
}

void TstTextHelpers::lineBytesPerCharacter() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(lineBytes(text), bytes);
}

void TstTextHelpers::portSettings_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("error");
    QTest::newRow("9600,n,8,1") << QStringLiteral("9600,n,8,1") << 0;
    QTest::newRow("1200,E,7,2") << QStringLiteral("1200,E,7,2") << 0;
    QTest::newRow("1.5 stop") << QStringLiteral("19200,o,8,1.5") << 0;
    QTest::newRow("bad baud") << QStringLiteral("9601,n,8,1") << 8007;
    QTest::newRow("text baud") << QStringLiteral("abc,n,8,1") << 8007;
    QTest::newRow("bad bits") << QStringLiteral("9600,n,9,1") << 8008;
    QTest::newRow("bad parity") << QStringLiteral("9600,x,8,1") << 8009;
    QTest::newRow("bad stop") << QStringLiteral("9600,n,8,3") << 8009;
    QTest::newRow("three parts") << QStringLiteral("9600,n,8") << 8009;
    QTest::newRow("empty") << QString() << 8009;
    QTest::newRow("five parts") << QStringLiteral("9600,n,8,1,1") << 8009;
    QTest::newRow("blanks around fields") << QStringLiteral(" 9600 , E ,7 , 2 ") << 0;
    QTest::newRow("leading zero") << QStringLiteral("09600,n,8,1") << 0;
    // Nothing but the four fields: a text that says more than it is read as is refused.
    QTest::newRow("NUL in the baud") << QString::fromLatin1("9600\0xyz,n,8,1", 14) << 8007;
    QTest::newRow("NUL in the bits") << QString::fromLatin1("9600,n,8\0,1", 11) << 8008;
    QTest::newRow("NUL after the stop") << QString::fromLatin1("9600,n,8,1\0", 11) << 8009;
    QTest::newRow("garbage after the baud") << QStringLiteral("9600x,n,8,1") << 8007;
    QTest::newRow("plus sign") << QStringLiteral("+9600,n,8,1") << 8007;
    QTest::newRow("minus sign bits") << QStringLiteral("9600,n,-8,1") << 8008;
    QTest::newRow("hex baud") << QStringLiteral("0x2580,n,8,1") << 8007;
    QTest::newRow("hex bits") << QStringLiteral("9600,n,0x8,1") << 8008;
    QTest::newRow("point in the bits") << QStringLiteral("9600,n,8.0,1") << 8008;
    QTest::newRow("endless digits") << QStringLiteral("96000000000000000000,n,8,1") << 8007;
}

void TstTextHelpers::portSettings() {
    QFETCH(QString, text);
    QFETCH(int, error);
    QCOMPARE(parsePortSettings(text).error, error);
}

void TstTextHelpers::storedPaths_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("local");
    QTest::newRow("drive") << QStringLiteral("C:\\prog\\maq1.Epr")
                           << QStringLiteral("/prog/maq1.Epr");
    QTest::newRow("root drive") << QStringLiteral("C:\\") << QStringLiteral("/");
    QTest::newRow("unix") << QStringLiteral("/tmp/a.Epr") << QStringLiteral("/tmp/a.Epr");
    QTest::newRow("relative backslashes") << QStringLiteral("dir\\a") << QStringLiteral("dir/a");
}

void TstTextHelpers::storedPaths() {
    QFETCH(QString, stored);
    QFETCH(QString, local);
    QCOMPARE(localPath(stored), local);
}

QTEST_GUILESS_MAIN(TstTextHelpers)
#include "tst_text_helpers.moc"
