#pragma once

#include <QString>
#include <optional>

class QDialog;
class QPrinter;
class QWidget;

namespace Pomiar {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgAnswer { Ok, Cancel, Yes, No };

// The answer that does the least, given when a message box is closed
// without a button: No of a Yes/No question, otherwise Cancel where there is
// one.
inline MsgAnswer LeastDoingAnswer(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::Ok:
        return MsgAnswer::Ok;
    case MsgButtons::YesNo:
        return MsgAnswer::No;
    case MsgButtons::OkCancel:
    case MsgButtons::YesNoCancel:
        break;
    }
    return MsgAnswer::Cancel;
}

// Every question the program puts to the user, every file and printer it
// lets the user choose, every modal window of its own it waits on and every
// file it hands to the desktop goes through this one interface: the program
// uses the Qt implementation, tests a scripted one.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // An empty title means the application title, as message boxes without
    // a title of their own show it.
    virtual MsgAnswer MessageBox(QWidget* parent, const QString& text, MsgButtons buttons,
                                 MsgIcon icon, const QString& title) = 0;

    // A failure that arrived by itself (a link lost, a server gone), told
    // without waiting for an answer: a modal box opened from a link, timer
    // or sender callback would hold that callback, and with it the
    // reconnection and automatic work, until someone clicks OK. A later
    // notice under the same title replaces the one still shown. Where
    // nobody waits on a window (a terminal, a benchmark), it is a message.
    virtual void Notice(QWidget* parent, const QString& text, MsgIcon icon, const QString& title) {
        MessageBox(parent, text, MsgButtons::Ok, icon, title);
    }

    // Nothing when the user cancels.
    virtual std::optional<QString> InputBox(QWidget* parent, const QString& prompt,
                                            const QString& title, const QString& defaultText) = 0;

    // Empty when the user cancels. The filter uses the "Description (*.ext)"
    // form separated by ";;"; chosenFilter receives the filter the user took.
    virtual QString OpenFileName(QWidget* parent, const QString& title, const QString& folder,
                                 const QString& filter) = 0;
    virtual QString SaveFileName(QWidget* parent, const QString& title, const QString& folder,
                                 const QString& filter, QString* chosenFilter) = 0;

    // Opens a file with the desktop's handler for its type (help files, text
    // files in the text editor). False when nothing could open it.
    virtual bool OpenWithDesktop(const QString& path) = 0;

    // A modal window of the program's own (the options, the report, a print
    // preview, the editor of a cycle window): the user works in it until it
    // closes. True when it was accepted. Where nobody works in windows (a
    // terminal), it is closed unanswered.
    virtual bool RunModal(QDialog&) { return false; }

    // Whether a printer is installed; without one the program offers a PDF
    // file instead.
    virtual bool PrintersAvailable() { return false; }
    // Lets the user choose the printer and its settings (the print dialog
    // also offers a PDF file); false when cancelled.
    virtual bool ChoosePrinter(QWidget*, QPrinter&) { return false; }
};

} // namespace Pomiar
