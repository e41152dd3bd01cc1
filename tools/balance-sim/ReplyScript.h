#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace BalanceSim {

// Scripted exchanges that replace the instrument's own answers. A script is
// text of lines "COMMAND => REPLY"; a command given several lines gets its
// replies in turn, starting over after the last. Blank lines and lines
// starting with "#" are skipped.
class ReplyScript {
public:
    // Replaces the script with the one in text. On failure the script stays
    // as it was and error tells the line and the reason.
    bool Parse(const QByteArray& text, QString* error = nullptr);
    bool Load(const QString& path, QString* error = nullptr);

    bool IsEmpty() const { return entries.isEmpty(); }
    // The next reply for command (possibly empty: answer nothing), or none
    // when the script does not know the command.
    std::optional<QByteArray> Take(const QByteArray& command);

private:
    struct Entry {
        QList<QByteArray> replies;
        qsizetype next = 0;
    };
    QHash<QByteArray, Entry> entries;
};

} // namespace BalanceSim
