#pragma once

#include "UserDialogs.h"

namespace Pomiar {

// The dialogs a user really sees.
class QtUserDialogs : public UserDialogs {
public:
    MsgAnswer MessageBox(QWidget* parent, const QString& text, MsgButtons buttons, MsgIcon icon,
                         const QString& title) override;
    std::optional<QString> InputBox(QWidget* parent, const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    QString OpenFileName(QWidget* parent, const QString& title, const QString& folder,
                         const QString& filter) override;
    QString SaveFileName(QWidget* parent, const QString& title, const QString& folder,
                         const QString& filter, QString* chosenFilter) override;
    bool OpenWithDesktop(const QString& path) override;
};

} // namespace Pomiar
