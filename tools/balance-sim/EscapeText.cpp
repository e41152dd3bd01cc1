#include "EscapeText.h"

namespace BalanceSim {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<QByteArray> Fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return std::nullopt;
}

} // namespace

std::optional<QByteArray> EscapeText::Decode(const QByteArray& text, QString* error) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c != '\\') {
            out.append(c);
            continue;
        }
        if (++i >= text.size())
            return Fail(error, QStringLiteral("text ends in a lone backslash"));
        switch (text.at(i)) {
        case 'r':
            out.append('\r');
            break;
        case 'n':
            out.append('\n');
            break;
        case 't':
            out.append('\t');
            break;
        case 'e':
            out.append('\x1b');
            break;
        case '\\':
            out.append('\\');
            break;
        case 'x': {
            const int high = i + 1 < text.size() ? HexDigit(text.at(i + 1)) : -1;
            const int low = i + 2 < text.size() ? HexDigit(text.at(i + 2)) : -1;
            if (high < 0 || low < 0)
                return Fail(error, QStringLiteral("\\x needs two hexadecimal digits"));
            out.append(char(high * 16 + low));
            i += 2;
            break;
        }
        default:
            return Fail(error,
                        QStringLiteral("unknown escape \\%1").arg(QChar::fromLatin1(text.at(i))));
        }
    }
    return out;
}

QByteArray EscapeText::Encode(const QByteArray& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    QByteArray out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            out.append("\\r");
        else if (c == '\n')
            out.append("\\n");
        else if (c == '\t')
            out.append("\\t");
        else if (c == '\x1b')
            out.append("\\e");
        else if (c == '\\')
            out.append("\\\\");
        else if (u < 0x20 || u > 0x7e)
            out.append("\\x").append(digits[u >> 4]).append(digits[u & 15]);
        else
            out.append(c);
    }
    return out;
}

} // namespace BalanceSim
