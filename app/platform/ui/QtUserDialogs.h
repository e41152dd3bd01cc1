#pragma once

#include "UserDialogs.h"

#include <QMap>
#include <QPointer>

class QMessageBox;

namespace Pomiar {

// The dialogs a user really sees.
class QtUserDialogs : public UserDialogs {
public:
    MsgAnswer MessageBox(QWidget* parent, const QString& text, MsgButtons buttons, MsgIcon icon,
                         const QString& title) override;
    void Notice(QWidget* parent, const QString& text, MsgIcon icon, const QString& title) override;
    std::optional<QString> InputBox(QWidget* parent, const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    QString OpenFileName(QWidget* parent, const QString& title, const QString& folder,
                         const QString& filter) override;
    QString SaveFileName(QWidget* parent, const QString& title, const QString& folder,
                         const QString& filter, QString* chosenFilter) override;
    bool OpenWithDesktop(const QString& path) override;
    bool RunModal(QDialog& dialog) override;
    bool PrintersAvailable() override;
    bool ChoosePrinter(QWidget* parent, QPrinter& printer) override;

private:
    // The notices still shown, by title.
    QMap<QString, QPointer<QMessageBox>> notices;
};

} // namespace Pomiar
