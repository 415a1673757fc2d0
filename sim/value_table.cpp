#include "sim/value_table.h"

#include <QString>

#include <cmath>

namespace quillon::sim {

namespace {

QByteArray latin1(const char* utf8) {
    return QString::fromUtf8(utf8).toLatin1();
}

QList<ValueTable::Variable> numbered(const char* prefix, const QList<double>& values) {
    QList<ValueTable::Variable> variables;
    for (qsizetype i = 0; i < values.size(); ++i)
        variables.append({latin1(prefix) + ' ' + QByteArray::number(i + 1), values[i]});
    return variables;
}

} // namespace

ValueTable::ValueTable() {
    kinds_[AnalogInputs] = numbered("Sensor", {21.5, 22.1, 7.8, 4.2, 65.0, 0, 0, 0});
    kinds_[DigitalInputs] = numbered("Entrada", {1, 0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0});
    kinds_[Parameters] = {
        {latin1("Temperatura desejada"), 22},
        {latin1("Diferencial"), 1.5},
        {latin1("Alarme de alta"), 30},
        {latin1("Alarme de baixa"), 10},
        {latin1("Retardo do compressor (s)"), 180},
        {latin1("Degelo a cada (h)"), 6},
        {latin1("Duração do degelo (min)"), 20},
        {latin1("Fim de degelo"), 12},
        {latin1("Ventilador no degelo"), 0},
        {latin1("Pressão mínima"), 2.5},
        {latin1("Pressão máxima"), 18},
        {latin1("Endereço de rede"), 1},
    };
    kinds_[Relays] = numbered("Relé", {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    kinds_[AnalogOutputs] = numbered("Saída", {40, 0, 75, 0, 0, 0, 0, 0, 0});
}

const QList<ValueTable::Variable>& ValueTable::variables(int kind) const {
    static const QList<Variable> none;
    return isKind(kind) ? kinds_[kind] : none;
}

std::optional<double> ValueTable::read(int kind, int number) const {
    const QList<Variable>& list = variables(kind);
    if (number < 1 || number > list.size())
        return std::nullopt;
    return list[number - 1].value;
}

ValueTable::WriteResult ValueTable::write(int kind, int number, double value) {
    if (!read(kind, number))
        return WriteResult::NoSuchVariable;
    if (kind == AnalogInputs || kind == DigitalInputs)
        return WriteResult::ReadOnly;
    if (!std::isfinite(value) || (kind == Relays && value != 0 && value != 1) ||
        (kind == AnalogOutputs && (value < 0 || value > 100)))
        return WriteResult::OutOfRange;
    kinds_[kind][number - 1].value = value;
    ++writeCount_;
    return WriteResult::Written;
}

QByteArray ValueTable::kindName(int kind) {
    switch (kind) {
    case AnalogInputs:
        return latin1("Entradas analógicas");
    case DigitalInputs:
        return latin1("Entradas digitais");
    case Parameters:
        return latin1("Variáveis de ajuste");
    case Relays:
        return latin1("Saídas digitais (relés)");
    case AnalogOutputs:
        return latin1("Saídas analógicas (%)");
    default:
        return {};
    }
}

QByteArray ValueTable::format(double value) {
    return QByteArray::number(value, 'g', 8);
}

} // namespace quillon::sim
