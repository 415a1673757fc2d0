#include "app/edition.h"

namespace quillon {

const Edition& fullEdition() {
    static const Edition edition{
        .programName = QStringLiteral("QuillonV2"),
        .versionMajor = 2,
        .versionMinor = 3,
        .versionRevision = 59,
    };
    return edition;
}

QString versionText(const Edition& edition) {
    return QStringLiteral("%1.%2.%3")
        .arg(edition.versionMajor)
        .arg(edition.versionMinor)
        .arg(edition.versionRevision);
}

} // namespace quillon
