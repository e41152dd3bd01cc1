#include "TestWeight.h"

namespace Pomiar {

const QStringList& TestWeight::Classes() {
    // OIML R 111-1 accuracy classes, finest first.
    static const QStringList classes{
        QStringLiteral("E1"), QStringLiteral("E2"),   QStringLiteral("F1"),
        QStringLiteral("F2"), QStringLiteral("M1"),   QStringLiteral("M1-2"),
        QStringLiteral("M2"), QStringLiteral("M2-3"), QStringLiteral("M3")};
    return classes;
}

} // namespace Pomiar
