#pragma once

#include "UserDialogs.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

// A stand-in for the user: records every dialog the program opens, in order,
// and answers from queues the test fills beforehand. An empty queue gives the
// answer that does the least (Cancel, No, nothing, no file) and marks the call
// as unscripted so that a test can notice a question it did not expect.
class ScriptedDialogs : public Pomiar::UserDialogs {
public:
    enum class Kind { MessageBox, Notice, InputBox, OpenFileName, SaveFileName, OpenWithDesktop };

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
    // Whether the desktop has a program for the files handed to it.
    bool desktopOpens = true;

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
};
