#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace quillon::sim {

// The controller's own variables, by kind (Z) and number (T, from 1), as the console
// reads and writes them.
class ValueTable {
public:
    enum Kind {
        AnalogInputs = 0,
        DigitalInputs = 1,
        Parameters = 2,
        Relays = 3,
        AnalogOutputs = 4
    };
    static constexpr int KindCount = 5;

    enum class WriteResult { Written, NoSuchVariable, ReadOnly, OutOfRange };

    struct Variable {
        QByteArray name;
        double value = 0;
    };

    ValueTable();

    std::optional<double> read(int kind, int number) const;
    WriteResult write(int kind, int number, double value);

    const QList<Variable>& variables(int kind) const;
    static QByteArray kindName(int kind);
    static bool isKind(int kind) { return kind >= 0 && kind < KindCount; }
    // How a value is written in the controller's answers: 12.5, 21, -3.
    static QByteArray format(double value);

    int writeCount() const { return writeCount_; }

private:
    QList<Variable> kinds_[KindCount];
    int writeCount_ = 0;
};

} // namespace quillon::sim
