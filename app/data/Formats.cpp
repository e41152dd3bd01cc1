#include "Formats.h"

#include "mUstawienia.h"

#include <QChar>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace Pomiar::Formats {

namespace {

// A pattern the formatter cannot use shows a number as a mass shows by default.
const QString FallbackPattern = QString::fromLatin1(mUstawienia::DefaultMassFormat);

// Doubles carry about 15 significant decimal digits; rounding that form
// keeps noise such as 2.00004999999999988 (the double nearest 2.00005) from
// deciding a shown digit.
constexpr int SignificantDigits = 15;

struct NumberPattern {
    int minIntegerDigits = 0;
    bool grouping = false;
    int minDecimals = 0;
    int maxDecimals = 0;
};

std::optional<NumberPattern> ParseNumberPattern(const QString& pattern) {
    NumberPattern result;
    bool afterPoint = false;
    bool anyPlaceholder = false;
    for (const QChar c : pattern) {
        if (c == u'0' || c == u'#') {
            anyPlaceholder = true;
            if (afterPoint) {
                result.maxDecimals++;
                if (c == u'0')
                    result.minDecimals++;
            } else if (c == u'0') {
                result.minIntegerDigits++;
            }
        } else if (c == u'.') {
            if (afterPoint)
                return std::nullopt;
            afterPoint = true;
        } else if (c == u',') {
            if (afterPoint)
                return std::nullopt;
            result.grouping = true;
        } else {
            return std::nullopt;
        }
    }
    if (!anyPlaceholder)
        return std::nullopt;
    return result;
}

NumberPattern PatternOrFallback(const QString& pattern) {
    if (auto parsed = ParseNumberPattern(pattern.trimmed()))
        return *parsed;
    return *ParseNumberPattern(FallbackPattern);
}

// The magnitude of a finite value as decimal digits on both sides of the
// point, at most 15 significant ones.
struct DecimalDigits {
    std::string integer;
    std::string fraction;
};

DecimalDigits ToDecimalDigits(double magnitude) {
    std::array<char, 64> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                            std::chars_format::scientific, SignificantDigits - 1);
    // Scientific form: one digit, optionally "." and more digits, "e", exponent.
    const std::string text(buffer.data(), error == std::errc() ? end : buffer.data());
    const auto ePos = text.find('e');
    std::string digits;
    for (std::size_t i = 0; i < ePos && i < text.size(); ++i) {
        if (text[i] != '.')
            digits += text[i];
    }
    const int exponent = ePos == std::string::npos ? 0 : std::stoi(text.substr(ePos + 1));
    const int pointPos = exponent + 1; // digits before the decimal point

    DecimalDigits result;
    const int count = static_cast<int>(digits.size());
    if (pointPos <= 0) {
        result.fraction = std::string(-pointPos, '0') + digits;
    } else if (pointPos >= count) {
        result.integer = digits + std::string(pointPos - count, '0');
    } else {
        result.integer = digits.substr(0, pointPos);
        result.fraction = digits.substr(pointPos);
    }
    return result;
}

// Adds one unit in the last place of integer + fraction.
void IncrementLastDigit(DecimalDigits& number) {
    for (std::string* part : {&number.fraction, &number.integer}) {
        for (auto it = part->rbegin(); it != part->rend(); ++it) {
            if (*it != '9') {
                ++*it;
                return;
            }
            *it = '0';
        }
    }
    number.integer.insert(number.integer.begin(), '1');
}

void RoundToDecimals(DecimalDigits& number, int decimals) {
    if (static_cast<int>(number.fraction.size()) <= decimals)
        return;
    const bool up = number.fraction[decimals] >= '5';
    number.fraction.resize(decimals);
    if (up)
        IncrementLastDigit(number);
}

bool IsAllZeros(const std::string& digits) {
    return digits.find_first_not_of('0') == std::string::npos;
}

QString GroupDigits(const std::string& digits, const QString& separator) {
    QString result;
    const int count = static_cast<int>(digits.size());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && (count - i) % 3 == 0)
            result += separator;
        result += QChar(digits[i]);
    }
    return result;
}

QString Number(int value, int width) {
    return QStringLiteral("%1").arg(value, width, 10, QChar(u'0'));
}

struct DateToken {
    char field = 0; // 'y', 'm', 'd', 'h', 'n', 's'; 0 for literal text
    int count = 0;
    QString literal;
};

std::vector<DateToken> TokenizeDatePattern(const QString& pattern) {
    std::vector<DateToken> tokens;
    auto appendLiteral = [&tokens](const QString& text) {
        if (tokens.empty() || tokens.back().field != 0)
            tokens.push_back(DateToken{});
        tokens.back().literal += text;
    };
    const int length = static_cast<int>(pattern.size());
    for (int i = 0; i < length;) {
        const QChar c = pattern[i];
        const char field = static_cast<char>(c.toLower().toLatin1());
        if (QStringLiteral("ymdhns").contains(c.toLower()) && c.unicode() < 128) {
            int run = 1;
            while (i + run < length && pattern[i + run].toLower() == c.toLower())
                ++run;
            tokens.push_back(DateToken{field, run, {}});
            i += run;
        } else if (c == u'\\' && i + 1 < length) {
            appendLiteral(pattern.mid(i + 1, 1));
            i += 2;
        } else if (c == u'"') {
            const int close = pattern.indexOf(u'"', i + 1);
            const int stop = close < 0 ? length : close;
            appendLiteral(pattern.mid(i + 1, stop - i - 1));
            i = stop + 1;
        } else {
            appendLiteral(QString(c));
            ++i;
        }
    }
    return tokens;
}

// "m" and "mm" name minutes right after an hour field or right before a
// seconds field (literals between them do not count), the month otherwise.
bool IsMinutes(const std::vector<DateToken>& tokens, std::size_t index) {
    if (tokens[index].count > 2)
        return false;
    for (std::size_t i = index; i-- > 0;) {
        if (tokens[i].field != 0) {
            if (tokens[i].field == 'h')
                return true;
            break;
        }
    }
    for (std::size_t i = index + 1; i < tokens.size(); ++i) {
        if (tokens[i].field != 0)
            return tokens[i].field == 's';
    }
    return false;
}

QString FormatYear(const QDate& date, int count) {
    if (count == 1)
        return QString::number(date.dayOfYear());
    if (count == 2)
        return Number(date.year() % 100, 2);
    return Number(date.year(), 4);
}

QString FormatMonth(const QDate& date, int count, const QLocale& locale) {
    if (count >= 4)
        return locale.monthName(date.month(), QLocale::LongFormat);
    if (count == 3)
        return locale.monthName(date.month(), QLocale::ShortFormat);
    return Number(date.month(), count);
}

QString FormatDay(const QDate& date, const QTime& time, int count, const QLocale& locale) {
    switch (count) {
    case 1:
    case 2:
        return Number(date.day(), count);
    case 3:
        return locale.dayName(date.dayOfWeek(), QLocale::ShortFormat);
    case 4:
        return locale.dayName(date.dayOfWeek(), QLocale::LongFormat);
    case 5:
        return FormatDateTime(date, time, QStringLiteral("yyyy-MM-dd"), locale);
    default:
        return FormatDateTime(date, time, QStringLiteral("d MMMM yyyy"), locale);
    }
}

} // namespace

QString FormatNumber(double value, const QString& pattern, const QLocale& locale) {
    if (!std::isfinite(value))
        return locale.toString(value);
    const NumberPattern format = PatternOrFallback(pattern);

    DecimalDigits number = ToDecimalDigits(std::fabs(value));
    RoundToDecimals(number, format.maxDecimals);
    const bool zero = IsAllZeros(number.integer) && IsAllZeros(number.fraction);

    while (static_cast<int>(number.fraction.size()) > format.minDecimals &&
           number.fraction.back() == '0')
        number.fraction.pop_back();
    if (static_cast<int>(number.fraction.size()) < format.minDecimals)
        number.fraction.append(format.minDecimals - number.fraction.size(), '0');

    const auto firstSignificant = number.integer.find_first_not_of('0');
    number.integer.erase(0, firstSignificant == std::string::npos ? number.integer.size()
                                                                  : firstSignificant);
    if (static_cast<int>(number.integer.size()) < format.minIntegerDigits)
        number.integer.insert(0, format.minIntegerDigits - number.integer.size(), '0');

    QString result;
    if (value < 0 && !zero)
        result += u'-';
    result += format.grouping ? GroupDigits(number.integer, locale.groupSeparator())
                              : QString::fromLatin1(number.integer);
    if (!number.fraction.empty())
        result += locale.decimalPoint() + QString::fromLatin1(number.fraction);
    return result;
}

QString FormatDateTime(const QDateTime& dateTime, const QString& pattern) {
    return FormatDateTime(dateTime, pattern, QLocale::system());
}

QString FormatDateTime(const QDateTime& dateTime, const QString& pattern, const QLocale& locale) {
    if (!dateTime.isValid())
        return {};
    return FormatDateTime(dateTime.date(), dateTime.time(), pattern, locale);
}

QString FormatDateTime(const QDate& date, const QTime& time, const QString& pattern,
                       const QLocale& locale) {
    if (!date.isValid() || !time.isValid())
        return {};
    const std::vector<DateToken> tokens = TokenizeDatePattern(pattern);
    QString result;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const DateToken& token = tokens[i];
        const int width = std::min(token.count, 2);
        switch (token.field) {
        case 'y':
            result += FormatYear(date, token.count);
            break;
        case 'm':
            result += IsMinutes(tokens, i) ? Number(time.minute(), width)
                                           : FormatMonth(date, token.count, locale);
            break;
        case 'd':
            result += FormatDay(date, time, token.count, locale);
            break;
        case 'h':
            result += Number(time.hour(), width);
            break;
        case 'n':
            result += Number(time.minute(), width);
            break;
        case 's':
            result += Number(time.second(), width);
            break;
        default:
            result += token.literal;
        }
    }
    return result;
}

double ParseShownNumber(const QString& text, const QLocale& locale, bool* ok) {
    QString cleaned = text;
    const QString group = locale.groupSeparator();
    if (!group.isEmpty() && group != locale.decimalPoint()) {
        const qsizetype point = cleaned.indexOf(locale.decimalPoint());
        QString integerPart = point < 0 ? cleaned : cleaned.left(point);
        integerPart.remove(group);
        cleaned = integerPart + (point < 0 ? QString() : cleaned.mid(point));
    }
    return locale.toDouble(cleaned, ok);
}

} // namespace Pomiar::Formats
