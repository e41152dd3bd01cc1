#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace BalanceSim {

// Texts typed on the control input or written in a script carry the bytes
// they stand for as escapes: \r \n \t \e (ESC) \\ and \xHH.
class EscapeText {
public:
    // Answers nothing and explains why in error when the text holds an
    // unknown or incomplete escape.
    static std::optional<QByteArray> Decode(const QByteArray& text, QString* error = nullptr);

    // The reverse, for traffic logs: printable ASCII stays, the rest is escaped.
    static QByteArray Encode(const QByteArray& bytes);
};

} // namespace BalanceSim
