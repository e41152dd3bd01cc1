#include "ReplyScript.h"

#include "EscapeText.h"

#include <QFile>

namespace BalanceSim {

namespace {

constexpr char Separator[] = " =>";

bool Fail(QString* error, int lineNumber, const QString& why) {
    if (error)
        *error = QStringLiteral("line %1: %2").arg(lineNumber).arg(why);
    return false;
}

} // namespace

bool ReplyScript::Parse(const QByteArray& text, QString* error) {
    QHash<QByteArray, Entry> parsed;
    const QList<QByteArray> lines = text.split('\n');
    for (int index = 0; index < lines.size(); ++index) {
        const int lineNumber = index + 1;
        QByteArray line = lines.at(index);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith('#'))
            continue;
        // The reply starts one blank after "=>", so replies may begin with
        // blanks of their own; a line ending in "=>" scripts silence.
        const qsizetype at = line.indexOf(Separator);
        if (at < 0 || (at + 3 < line.size() && line.at(at + 3) != ' '))
            return Fail(error, lineNumber, QStringLiteral("expected COMMAND => REPLY"));
        QString why;
        const auto command = EscapeText::Decode(line.left(at).trimmed(), &why);
        if (!command)
            return Fail(error, lineNumber, why);
        if (command->isEmpty())
            return Fail(error, lineNumber, QStringLiteral("the command is empty"));
        const auto reply = EscapeText::Decode(line.mid(at + 4), &why);
        if (!reply)
            return Fail(error, lineNumber, why);
        parsed[*command].replies.append(*reply);
    }
    entries = std::move(parsed);
    return true;
}

bool ReplyScript::Load(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    QString why;
    if (Parse(file.readAll(), &why))
        return true;
    if (error)
        *error = QStringLiteral("%1: %2").arg(path, why);
    return false;
}

std::optional<QByteArray> ReplyScript::Take(const QByteArray& command) {
    const auto found = entries.find(command);
    if (found == entries.end())
        return std::nullopt;
    Entry& entry = found.value();
    const QByteArray reply = entry.replies.at(entry.next);
    entry.next = (entry.next + 1) % entry.replies.size();
    return reply;
}

} // namespace BalanceSim
