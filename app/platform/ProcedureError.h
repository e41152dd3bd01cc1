#pragma once

#include "UserDialogs.h"

#include <QString>

namespace Pomiar {

// The text the program shows when an operation fails: "Error n (what) in
// procedure p of Form f" (or "of Module m" for a module's routine).
inline QString ProcedureErrorText(int number, const QString& description, const QString& procedure,
                                  const QString& owner, bool module = false) {
    return QStringLiteral("Error %1 (%2) in procedure %3 of %4 %5")
        .arg(number)
        .arg(description, procedure, module ? QStringLiteral("Module") : QStringLiteral("Form"),
             owner);
}

// Shows that text with the critical icon and the application's title.
inline void ShowProcedureError(UserDialogs& dialogs, QWidget* parent, int number,
                               const QString& description, const QString& procedure,
                               const QString& owner, bool module = false) {
    dialogs.MessageBox(parent, ProcedureErrorText(number, description, procedure, owner, module),
                       MsgButtons::Ok, MsgIcon::Critical, QString());
}

} // namespace Pomiar
