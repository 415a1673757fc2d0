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
    : Role(parent), settings_(settings) {
    line_.reserve(MaxLine);
}

bool ConsoleRole::inFrame() const {
    return step_ != Step::Idle && lastByte_.isValid() && !lastByte_.hasExpired(FrameTimeoutMs);
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
    if (c == Enquiry || (step_ == Step::Idle && c == ReportLead)) {
        endFrame();
        step_ = Step::Address;
        report_ = c == ReportLead;
        lastByte_.start();
        return;
    }
    if (step_ == Step::Idle)
        return;
    lastByte_.start();
    if (c == '\r' || c == '\n') {
        // The LF of a CR LF would end an empty line; empty lines mean nothing to a frame.
        if (!line_.isEmpty() || c == '\r')
            lineEnded();
        return;
    }
    if (line_.size() < MaxLine)
        line_.append(c);
}

void ConsoleRole::lineEnded() {
    const QByteArray line = line_;
    line_.clear();
    switch (step_) {
    case Step::Idle:
        return;
    case Step::Address:
        ours_ = line == settings_.station + settings_.identifier;
        if (line == settings_.station + "-1") {
            // The program's way of asking who is there: no command follows.
            answerAddress();
            endFrame();
            return;
        }
        step_ = Step::Command;
        return;
    case Step::Command:
        command_ = line;
        if (command_ == ParameterLine) {
            step_ = Step::Extra;
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
    step_ = Step::Idle;
    ours_ = false;
    report_ = false;
    line_.clear();
    command_.clear();
}

void ConsoleRole::answer(const QByteArray& text) {
    if (ours_)
        send(Crlf + text + Crlf);
}

void ConsoleRole::answerAddress() {
    send(Crlf + latin1("PXC estação ") + settings_.station + latin1(", identificador ") +
         settings_.identifier + Crlf);
}

void ConsoleRole::answerCommand() {
    if (!ours_)
        return;
    if (command_ == HelpLine) {
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
    if (command_ == BlockLine) {
        QByteArray text;
        if (report_) {
            text += latin1("Relatório da estação ") + settings_.station + Crlf;
            text += latin1("Gravações desde a partida: ") +
                    QByteArray::number(table_.writeCount()) + Crlf;
            const auto high = table_.read(ValueTable::Parameters, 3);
            const auto temperature = table_.read(ValueTable::AnalogInputs, 1);
            const bool alarm = high && temperature && *temperature > *high;
            text += latin1(alarm ? "Alarme: temperatura alta" : "Alarmes: nenhum");
        } else {
            for (int kind = 0; kind < ValueTable::KindCount; ++kind) {
                if (kind == ValueTable::Parameters)
                    continue;
                text += ValueTable::kindName(kind) + ':';
                for (const ValueTable::Variable& variable : table_.variables(kind))
                    text += ' ' + ValueTable::format(variable.value);
                if (kind != ValueTable::AnalogOutputs)
                    text += Crlf;
            }
        }
        answer(text);
        return;
    }
    const std::optional<CommandLine> command = parseCommand(command_);
    if (!command || (command->y != 0 && command->y != 1)) {
        answer(latin1("Comando inválido: ") + command_);
        return;
    }
    const QByteArray where = QByteArray::number(command->z) + ',' + QByteArray::number(command->t);
    if (command->y == 0) {
        const std::optional<double> value = table_.read(command->z, command->t);
        answer(value ? where + " = " + ValueTable::format(*value)
                     : where + latin1(": variável inexistente"));
        return;
    }
    switch (table_.write(command->z, command->t, command->w)) {
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
    if (!ours_)
        return;
    // The extra line names the first parameter to list; 0 and 1 both start at the top.
    bool ok = false;
    const int first = qMax(1, firstLine.trimmed().toInt(&ok));
    const QList<ValueTable::Variable>& parameters = table_.variables(ValueTable::Parameters);
    QByteArray text = latin1("Parâmetros");
    for (qsizetype i = ok ? first - 1 : 0; i < parameters.size(); ++i)
        text += Crlf + padded(QByteArray::number(i + 1), 3) + padded(parameters[i].name, 28) +
                ValueTable::format(parameters[i].value);
    answer(text);
}

} // namespace quillon::sim
