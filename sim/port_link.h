#pragma once

#include <QString>

namespace quillon::sim {

// The "COMn" name in a ports folder that points at the pseudo-terminal, so the program
// under test can be given a stable port name while /dev/pts numbers change every run.
class PortLink {
public:
    PortLink() = default;
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;
    ~PortLink();

    // Creates dir if needed. An existing link of that name is replaced (a simulator that
    // was killed leaves one behind); anything else in the way is left alone and refused.
    bool create(const QString& dir, const QString& name, const QString& target, QString* error);
    // Removes the link only while it is still ours: another simulator may have taken the
    // name over since.
    void remove();

    QString path() const { return path_; }

private:
    QString path_;
    QString target_;
};

} // namespace quillon::sim
