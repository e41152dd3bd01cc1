#include "QtUserDialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QUrl>

namespace Pomiar {

namespace {

QString titleOrApplication(const QString& title) {
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

QMessageBox::Icon qtIcon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::Exclamation:
        return QMessageBox::Warning;
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons qtButtons(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MsgButtons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

MsgAnswer answerOf(QMessageBox::StandardButton button, MsgButtons buttons) {
    switch (button) {
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    case QMessageBox::Cancel:
        return MsgAnswer::Cancel;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default:
        return LeastDoingAnswer(buttons);
    }
}

} // namespace

MsgAnswer QtUserDialogs::MessageBox(QWidget* parent, const QString& text, MsgButtons buttons,
                                    MsgIcon icon, const QString& title) {
    QMessageBox box(qtIcon(icon), titleOrApplication(title), text, qtButtons(buttons), parent);
    if (buttons == MsgButtons::YesNo)
        box.setEscapeButton(QMessageBox::No);
    box.exec();
    return answerOf(box.standardButton(box.clickedButton()), buttons);
}

void QtUserDialogs::Notice(QWidget* parent, const QString& text, MsgIcon icon,
                           const QString& title) {
    const QString shownTitle = titleOrApplication(title);
    QPointer<QMessageBox>& box = notices[shownTitle];
    if (!box) {
        box = new QMessageBox(qtIcon(icon), shownTitle, text, QMessageBox::Ok, parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
    }
    box->setIcon(qtIcon(icon));
    box->setText(text);
    box->show();
    box->raise();
}

std::optional<QString> QtUserDialogs::InputBox(QWidget* parent, const QString& prompt,
                                               const QString& title, const QString& defaultText) {
    bool accepted = false;
    const QString text = QInputDialog::getText(parent, titleOrApplication(title), prompt,
                                               QLineEdit::Normal, defaultText, &accepted);
    if (!accepted)
        return std::nullopt;
    return text;
}

QString QtUserDialogs::OpenFileName(QWidget* parent, const QString& title, const QString& folder,
                                    const QString& filter) {
    return QFileDialog::getOpenFileName(parent, titleOrApplication(title), folder, filter);
}

QString QtUserDialogs::SaveFileName(QWidget* parent, const QString& title, const QString& folder,
                                    const QString& filter, QString* chosenFilter) {
    QString selected;
    const QString path =
        QFileDialog::getSaveFileName(parent, titleOrApplication(title), folder, filter, &selected);
    if (chosenFilter)
        *chosenFilter = path.isEmpty() ? QString() : selected;
    return path;
}

bool QtUserDialogs::OpenWithDesktop(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtUserDialogs::RunModal(QDialog& dialog) {
    return dialog.exec() == QDialog::Accepted;
}

bool QtUserDialogs::PrintersAvailable() {
    return !QPrinterInfo::availablePrinters().isEmpty();
}

bool QtUserDialogs::ChoosePrinter(QWidget* parent, QPrinter& printer) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace Pomiar
