#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace Pomiar::NumberText {

namespace {

bool IsAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Blanks, tabs and line feeds never end a number, wherever they stand.
bool IsSkipped(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n';
}

} // namespace

namespace {

// Reads a number one character at a time; Take answers false at the first
// character that cannot continue it.
class NumberReader {
public:
    bool Take(QChar c) {
        if (part == Part::Sign) {
            part = Part::Mantissa;
            if (c == u'-' || c == u'+') {
                if (c == u'-')
                    number.text += '-';
                return true;
            }
        }
        if (part == Part::Mantissa || part == Part::Fraction)
            return takeMantissa(c);
        if (part == Part::ExponentSign) {
            part = Part::Exponent;
            if (c == u'-' || c == u'+') {
                number.text += char(c.unicode());
                exponentNegative = c == u'-';
                return true;
            }
        }
        if (!IsAsciiDigit(c))
            return false;
        number.text += char(c.unicode());
        // Far past any double; the clamp only keeps the count from overflowing.
        if (exponent < 100000)
            exponent = exponent * 10 + (c.unicode() - u'0');
        return true;
    }

    LeadingNumber Finish() {
        // An exponent mark without digits ("12e", "12e-") adds nothing.
        while (!number.text.empty() && (number.text.back() == 'e' ||
                                        number.text.back() == '-' || number.text.back() == '+'))
            number.text.pop_back();
        number.magnitude += exponentNegative ? -exponent : exponent;
        return number;
    }

    LeadingNumber number;

private:
    enum class Part { Sign, Mantissa, Fraction, ExponentSign, Exponent };

    bool takeMantissa(QChar c) {
        if (IsAsciiDigit(c)) {
            number.text += char(c.unicode());
            number.hasDigits = true;
            significant = significant || c != u'0';
            if (part == Part::Mantissa && significant)
                ++number.magnitude;
            else if (part == Part::Fraction && !significant)
                --number.magnitude;
            return true;
        }
        if (c == u'.' && part == Part::Mantissa) {
            number.text += '.';
            part = Part::Fraction;
            return true;
        }
        const bool exponentMark = c == u'E' || c == u'e' || c == u'D' || c == u'd';
        if (exponentMark && number.hasDigits) {
            number.text += 'e';
            part = Part::ExponentSign;
            return true;
        }
        return false;
    }

    Part part = Part::Sign;
    bool significant = false;
    bool exponentNegative = false;
    long long exponent = 0;
};

} // namespace

LeadingNumber ReadLeadingNumber(const QString& text) {
    NumberReader reader;
    qsizetype index = -1;
    for (QChar c : text) {
        ++index;
        if (IsSkipped(c))
            continue;
        // Whatever is taken belongs to the number; it ends where the first
        // character that cannot continue it stands.
        if (!reader.Take(c)) {
            reader.number.end = index;
            break;
        }
        reader.number.end = index + 1;
    }
    return reader.Finish();
}

double NumberAtFront(const QString& text) {
    const LeadingNumber number = ReadLeadingNumber(text);
    if (!number.hasDigits)
        return 0;
    const bool negative = number.text.front() == '-';
    const char* first = number.text.data() + (negative ? 1 : 0);
    const char* last = number.text.data() + number.text.size();
    double value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error == std::errc::result_out_of_range)
        value = number.magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    else if (error != std::errc())
        value = 0;
    return negative ? -value : value;
}

bool IsNumber(const QString& text, const QLocale& locale) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    bool ok = false;
    locale.toDouble(trimmed, &ok);
    return ok;
}

QString NormalizedValue(const QString& s, const QLocale& locale) {
    QString text = s;
    text.replace(u',', u'.').remove(u'%');
    const double value = NumberAtFront(text);
    if (!std::isfinite(value))
        throw std::overflow_error("Overflow");
    QLocale shown = locale;
    shown.setNumberOptions(QLocale::OmitGroupSeparator);
    return shown.toString(value, 'g', 15);
}

double MassOf(const QString& valueText, const QString& unit) {
    // A balance set to a decimal comma means the same number the limit test
    // reads; cut at the comma it would be stored as a whole number.
    QString text = valueText;
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    if (!unit.startsWith(QLatin1Char('%')))
        return NumberAtFront(text);
    return NumberAtFront(text.left(text.indexOf(QLatin1Char('%'))));
}

} // namespace Pomiar::NumberText
