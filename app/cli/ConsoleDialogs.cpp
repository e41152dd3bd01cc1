#include "ConsoleDialogs.h"

#include <cstdio>

namespace Trevalo {

Pomiar::MsgAnswer ConsoleDialogs::MessageBox(QWidget*, const QString& text,
                                             Pomiar::MsgButtons buttons, Pomiar::MsgIcon,
                                             const QString&) {
    std::fprintf(stderr, "trevalo: %s\n", qPrintable(QString(text).replace("\r\n", " ")));
    return Pomiar::LeastDoingAnswer(buttons);
}

} // namespace Trevalo
