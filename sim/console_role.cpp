#include "sim/console_role.h"

#include <QString>

#include <cmath>
#include <optional>

namespace quillon::sim {

namespace {

const QByteArray HelpLine = "2,2,2,2";
const QByteArray BlockLine = "3,3,3,3";
const QByteArray ParameterLine = "7,7,7,7";
const QByteArray Crlf = "\r\n";

QByteArray latin1(const char* utf8) {
    return QString::fromUtf8(utf8).toLatin1();
}

struct CommandLine {
    int y = 0;
    int z = 0;
    int t = 0;
    double w = 0;
};

// Y, Z and T are whole numbers, W any number; blanks around the fields are forgiven the
// way the controller's own parser forgives them.
std::optional<CommandLine> parseCommand(const QByteArray& line) {
    const QList<QByteArray> fields = line.split(',');
    if (fields.size() != 4)
        return std::nullopt;
    int whole[3] = {};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        whole[i] = fields[i].trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    bool ok = false;
    const double w = fields[3].trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(w))
        return std::nullopt;
    return CommandLine{whole[0], whole[1], whole[2], w};
}

QByteArray padded(const QByteArray& text, qsizetype width) {
    return text.leftJustified(width, ' ');
}

} // namespace

ConsoleRole::ConsoleRole(const ConsoleSettings& settings, QObject* parent)
    : Role(parent), m_settings(settings) {
    m_line.reserve(MaxLine);
}

bool ConsoleRole::inFrame() const {
    return m_step != Step::Idle && m_lastByte.isValid() && !m_lastByte.hasExpired(FrameTimeoutMs);
}

void ConsoleRole::receive(QByteArrayView bytes) {
    for (const char c : bytes)
        take(c);
}

void ConsoleRole::clientClosed() {
    endFrame();
}

void ConsoleRole::take(char c) {
    if (!inFrame())
        endFrame();
    // ENQ cannot be typed into a station or a command, so it always opens a new frame:
    // a command started while another waits interleaves on the line this way.
    if (c == Enquiry || (m_step == Step::Idle && c == ReportLead)) {
        endFrame();
        m_step = Step::Address;
        m_report = c == ReportLead;
        m_lastByte.start();
        return;
    }
    if (m_step == Step::Idle)
        return;
    m_lastByte.start();
    if (c == '\r' || c == '\n') {
        // The LF of a CR LF would end an empty line; empty lines mean nothing to a frame.
        if (!m_line.isEmpty() || c == '\r')
            lineEnded();
        return;
    }
    if (m_line.size() < MaxLine)
        m_line.append(c);
}

void ConsoleRole::lineEnded() {
    const QByteArray line = m_line;
    m_line.clear();
    switch (m_step) {
    case Step::Idle:
        return;
    case Step::Address:
        m_ours = line == m_settings.station + m_settings.identifier;
        if (line == m_settings.station + "-1") {
            // The program's way of asking who is there: no command follows.
            answerAddress();
            endFrame();
            return;
        }
        m_step = Step::Command;
        return;
    case Step::Command:
        m_command = line;
        if (m_command == ParameterLine) {
            m_step = Step::Extra;
            return;
        }
        answerCommand();
        endFrame();
        return;
    case Step::Extra:
        answerParameters(line);
        endFrame();
        return;
    }
}

void ConsoleRole::endFrame() {
    m_step = Step::Idle;
    m_ours = false;
    m_report = false;
    m_line.clear();
    m_command.clear();
}

void ConsoleRole::answer(const QByteArray& text) {
    if (m_ours)
        send(Crlf + text + Crlf);
}

void ConsoleRole::answerAddress() {
    send(Crlf + latin1("PXC estação ") + m_settings.station + latin1(", identificador ") +
         m_settings.identifier + Crlf);
}

void ConsoleRole::answerCommand() {
    if (!m_ours)
        return;
    if (m_command == HelpLine) {
        answer(latin1("PXC - Ajuda do console\r\n"
                      "Y,Z,T,W e Enter:\r\n"
                      "  Y  0 = Leitura, 1 = Escrita, 2 = Ajuda, 3 = Transferência de Bloco\r\n"
                      "  Z  0 = Entradas analógicas, 1 = Entradas digitais,\r\n"
                      "     2 = Variáveis de ajuste, 3 = Saídas digitais, 4 = Saídas analógicas\r\n"
                      "  T  número da variável, a partir de 1\r\n"
                      "  W  valor a gravar (0 na leitura)\r\n"
                      "3,3,3,3  tabela de variáveis      7,7,7,7  lista de parâmetros"));
        return;
    }
    if (m_command == BlockLine) {
        QByteArray text;
        if (m_report) {
            text += latin1("Relatório da estação ") + m_settings.station + Crlf;
            text += latin1("Gravações desde a partida: ") +
                    QByteArray::number(m_table.writeCount()) + Crlf;
            const auto high = m_table.read(ValueTable::Parameters, 3);
            const auto temperature = m_table.read(ValueTable::AnalogInputs, 1);
            const bool alarm = high && temperature && *temperature > *high;
            text += latin1(alarm ? "Alarme: temperatura alta" : "Alarmes: nenhum");
        } else {
            for (int kind = 0; kind < ValueTable::KindCount; ++kind) {
                if (kind == ValueTable::Parameters)
                    continue;
                text += ValueTable::kindName(kind) + ':';
                for (const ValueTable::Variable& variable : m_table.variables(kind))
                    text += ' ' + ValueTable::format(variable.value);
                if (kind != ValueTable::AnalogOutputs)
                    text += Crlf;
            }
        }
        answer(text);
        return;
    }
    const std::optional<CommandLine> command = parseCommand(m_command);
    if (!command || (command->y != 0 && command->y != 1)) {
        answer(latin1("Comando inválido: ") + m_command);
        return;
    }
    const QByteArray where = QByteArray::number(command->z) + ',' + QByteArray::number(command->t);
    if (command->y == 0) {
        const std::optional<double> value = m_table.read(command->z, command->t);
        answer(value ? where + " = " + ValueTable::format(*value)
                     : where + latin1(": variável inexistente"));
        return;
    }
    switch (m_table.write(command->z, command->t, command->w)) {
    case ValueTable::WriteResult::Written:
        answer(where + " = " + ValueTable::format(command->w) + latin1(" (gravado)"));
        return;
    case ValueTable::WriteResult::NoSuchVariable:
        answer(where + latin1(": variável inexistente"));
        return;
    case ValueTable::WriteResult::ReadOnly:
        answer(where + latin1(": entrada não pode ser gravada"));
        return;
    case ValueTable::WriteResult::OutOfRange:
        answer(where + latin1(": valor fora da faixa: ") + ValueTable::format(command->w));
        return;
    }
}

void ConsoleRole::answerParameters(const QByteArray& firstLine) {
    if (!m_ours)
        return;
    // The extra line names the first parameter to list; 0 and 1 both start at the top.
    bool ok = false;
    const int first = qMax(1, firstLine.trimmed().toInt(&ok));
    const QList<ValueTable::Variable>& parameters = m_table.variables(ValueTable::Parameters);
    QByteArray text = latin1("Parâmetros");
    for (qsizetype i = ok ? first - 1 : 0; i < parameters.size(); ++i)
        text += Crlf + padded(QByteArray::number(i + 1), 3) + padded(parameters[i].name, 28) +
                ValueTable::format(parameters[i].value);
    answer(text);
}

} // namespace quillon::sim
