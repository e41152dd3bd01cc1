#include "ScriptedDialogs.h"

#include <QPrinter>
#include <QStringList>
#include <algorithm>
#include <iterator>

using Pomiar::MsgAnswer;
using Pomiar::MsgButtons;
using Pomiar::MsgIcon;

void ScriptedDialogs::AnswerNext(MsgAnswer answer) {
    answers.push_back(answer);
}

void ScriptedDialogs::InputNext(std::optional<QString> answer) {
    inputs.push_back(std::move(answer));
}

void ScriptedDialogs::FileNext(QString path, QString filter) {
    files.push_back({std::move(path), std::move(filter)});
}

void ScriptedDialogs::PrinterNext(std::optional<QString> pdfFile) {
    printers.push_back(std::move(pdfFile));
}

std::vector<ScriptedDialogs::Call> ScriptedDialogs::CallsOf(Kind kind) const {
    std::vector<Call> result;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(result),
                 [kind](const Call& call) { return call.kind == kind; });
    return result;
}

QStringList ScriptedDialogs::Messages() const {
    QStringList result;
    for (const Call& call : calls)
        if (call.kind == Kind::MessageBox || call.kind == Kind::Notice)
            result << call.text;
    return result;
}

bool ScriptedDialogs::AllScripted() const {
    return std::all_of(calls.begin(), calls.end(), [](const Call& call) { return call.scripted; });
}

bool ScriptedDialogs::QueuesEmpty() const {
    return answers.empty() && inputs.empty() && files.empty() && printers.empty();
}

void ScriptedDialogs::Clear() {
    calls.clear();
    answers.clear();
    inputs.clear();
    files.clear();
    printers.clear();
}

MsgAnswer ScriptedDialogs::MessageBox(QWidget*, const QString& text, MsgButtons buttons,
                                      MsgIcon icon, const QString& title) {
    Call call{Kind::MessageBox, text, title, buttons, icon, {}, {}, {}, !answers.empty()};
    calls.push_back(call);
    if (answers.empty())
        return Pomiar::LeastDoingAnswer(buttons);
    const MsgAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedDialogs::Notice(QWidget*, const QString& text, Pomiar::MsgIcon icon,
                             const QString& title) {
    calls.push_back({Kind::Notice, text, title, MsgButtons::Ok, icon, {}, {}, {}, true});
}

std::optional<QString> ScriptedDialogs::InputBox(QWidget*, const QString& prompt,
                                                 const QString& title, const QString& defaultText) {
    Call call{Kind::InputBox, prompt, title, MsgButtons::OkCancel, MsgIcon::None,
              defaultText,    {},     {},    !inputs.empty()};
    calls.push_back(call);
    if (inputs.empty())
        return std::nullopt;
    const bool given = inputs.front().has_value();
    const QString text = inputs.front().value_or(QString());
    inputs.pop_front();
    return given ? std::optional<QString>(text) : std::nullopt;
}

QString ScriptedDialogs::OpenFileName(QWidget*, const QString& title, const QString& folder,
                                      const QString& filter) {
    return NextFile(Kind::OpenFileName, title, folder, filter, nullptr);
}

QString ScriptedDialogs::SaveFileName(QWidget*, const QString& title, const QString& folder,
                                      const QString& filter, QString* chosenFilter) {
    return NextFile(Kind::SaveFileName, title, folder, filter, chosenFilter);
}

bool ScriptedDialogs::OpenWithDesktop(const QString& path) {
    calls.push_back(
        {Kind::OpenWithDesktop, path, {}, MsgButtons::Ok, MsgIcon::None, {}, {}, {}, true});
    return desktopOpens;
}

bool ScriptedDialogs::RunModal(QDialog& dialog) {
    const auto handler = whileOpen.find(dialog.metaObject());
    if (handler == whileOpen.end())
        return false;
    handler->second(dialog);
    return dialog.result() == QDialog::Accepted;
}

bool ScriptedDialogs::ChoosePrinter(QWidget*, QPrinter& printer) {
    calls.push_back({Kind::ChoosePrinter,
                     {},
                     {},
                     MsgButtons::OkCancel,
                     MsgIcon::None,
                     {},
                     {},
                     {},
                     !printers.empty()});
    if (printers.empty())
        return false;
    const std::optional<QString> pdfFile = printers.front();
    printers.pop_front();
    if (!pdfFile)
        return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(*pdfFile);
    return true;
}

QString ScriptedDialogs::NextFile(Kind kind, const QString& title, const QString& folder,
                                  const QString& filter, QString* chosenFilter) {
    calls.push_back(
        {kind, {}, title, MsgButtons::OkCancel, MsgIcon::None, {}, folder, filter, !files.empty()});
    if (files.empty())
        return {};
    FileAnswer answer = files.front();
    files.pop_front();
    if (chosenFilter)
        *chosenFilter = answer.filter;
    return answer.path;
}
