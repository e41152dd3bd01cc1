#pragma once

#include "UserDialogs.h"

namespace Trevalo {

// Nobody answers at a terminal: a message goes to standard error, a
// question gets the answer that does the least, and no file is chosen.
class ConsoleDialogs : public Pomiar::UserDialogs {
public:
    Pomiar::MsgAnswer MessageBox(QWidget* parent, const QString& text, Pomiar::MsgButtons buttons,
                                 Pomiar::MsgIcon icon, const QString& title) override;
    std::optional<QString> InputBox(QWidget*, const QString&, const QString&,
                                    const QString&) override {
        return std::nullopt;
    }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&,
                         QString*) override {
        return {};
    }
    bool OpenWithDesktop(const QString&) override { return false; }
};

} // namespace Trevalo
