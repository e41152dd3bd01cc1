#pragma once

#include "UserDialogs.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

// A stand-in for the user: records every dialog the program opens, in order,
// and answers from queues the test fills beforehand. An empty queue gives the
// answer that does the least (Cancel, No, nothing, no file) and marks the call
// as unscripted so that a test can notice a question it did not expect.
// The program's own modal windows are handed to the test instead of the user.
class ScriptedDialogs : public Pomiar::UserDialogs {
public:
    enum class Kind {
        MessageBox,
        Notice,
        InputBox,
        OpenFileName,
        SaveFileName,
        OpenWithDesktop,
        ChoosePrinter
    };

    struct Call {
        Kind kind;
        QString text; // message text, input prompt, or the path handed to the desktop
        QString title;
        Pomiar::MsgButtons buttons = Pomiar::MsgButtons::Ok;
        Pomiar::MsgIcon icon = Pomiar::MsgIcon::None;
        QString defaultText;
        QString folder;
        QString filter;
        bool scripted = true;
    };

    void AnswerNext(Pomiar::MsgAnswer answer);
    void InputNext(std::optional<QString> answer);
    void FileNext(QString path, QString filter = {});
    // The printer the user chooses next: a PDF file at that path, or
    // nothing to cancel the print dialog.
    void PrinterNext(std::optional<QString> pdfFile);
    // Whether the desktop has a program for the files handed to it.
    bool desktopOpens = true;
    // Whether a printer is installed: none unless a test says so.
    bool printersInstalled = false;

    // While a modal window of class Window is open, the test works in it
    // (and may accept it); a modal window without a handler is closed
    // unanswered at once. A later handler for the class replaces the former.
    template <class Window> void WhileOpen(std::function<void(Window&)> handler) {
        whileOpen[&Window::staticMetaObject] = [handler = std::move(handler)](QDialog& dialog) {
            handler(static_cast<Window&>(dialog));
        };
    }

    const std::vector<Call>& Calls() const { return calls; }
    std::vector<Call> CallsOf(Kind kind) const;
    // The texts of all message boxes and notices so far, in order.
    QStringList Messages() const;
    bool AllScripted() const;
    // Answers still queued: a test usually expects none to be left.
    bool QueuesEmpty() const;
    void Clear();

    Pomiar::MsgAnswer MessageBox(QWidget* parent, const QString& text, Pomiar::MsgButtons buttons,
                                 Pomiar::MsgIcon icon, const QString& title) override;
    // Recorded like a message box, but takes no answer: nothing waits on it.
    void Notice(QWidget* parent, const QString& text, Pomiar::MsgIcon icon,
                const QString& title) override;
    std::optional<QString> InputBox(QWidget* parent, const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    QString OpenFileName(QWidget* parent, const QString& title, const QString& folder,
                         const QString& filter) override;
    QString SaveFileName(QWidget* parent, const QString& title, const QString& folder,
                         const QString& filter, QString* chosenFilter) override;
    bool OpenWithDesktop(const QString& path) override;
    bool RunModal(QDialog& dialog) override;
    bool PrintersAvailable() override { return printersInstalled; }
    bool ChoosePrinter(QWidget* parent, QPrinter& printer) override;

private:
    struct FileAnswer {
        QString path;
        QString filter;
    };

    QString NextFile(Kind kind, const QString& title, const QString& folder, const QString& filter,
                     QString* chosenFilter);

    std::vector<Call> calls;
    std::deque<Pomiar::MsgAnswer> answers;
    std::deque<std::optional<QString>> inputs;
    std::deque<FileAnswer> files;
    std::deque<std::optional<QString>> printers;
    std::map<const QMetaObject*, std::function<void(QDialog&)>> whileOpen;
};
