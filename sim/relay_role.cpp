#include "sim/relay_role.h"

namespace quillon::sim {

RelayRole::RelayRole(QObject* parent) : Role(parent) {
    connect(&farEnd_, &PtyLine::received, this, [this](const QByteArray& bytes) { send(bytes); });
}

bool RelayRole::open(QString* error) {
    if (!farEnd_.open(error))
        return false;
    farEnd_.startReading();
    return true;
}

void RelayRole::receive(QByteArrayView bytes) {
    farEnd_.write(bytes.toByteArray());
}

} // namespace quillon::sim
