#pragma once

#include "CheckRecord.h"
#include "RegisteredBalance.h"
#include "TestWeight.h"

#include <QList>
#include <QLocale>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

namespace Pomiar {

class CheckTexts;

// What the report of one check says, section by section, for a reviewer to
// sign: the balance, the weight and its certificate, who, where and when,
// every reading, the figures with the values their formulas were worked
// with, the limits and their source, the verdict, the warnings, the
// register's journal entry, and the lines for "performed by" and "reviewed
// by". The printed page draws these texts; nothing is worked out there.
struct CheckReportText {
    using Row = QPair<QString, QString>;

    QString title;
    QString verdict;
    QList<Row> header;
    QStringList readingColumns;
    QList<QStringList> readings;
    // "s_used = max(s; 0,41·d) = max(0,0000123; 0,41·0,0001) = 0,000041 g"
    QStringList figures;
    QList<Row> limits;
    QStringList warnings;
    QString identity;
    QStringList signatures;

    // balance and weight: the register's entries, when it still has them.
    static CheckReportText Of(const CheckRecord& check,
                              const std::optional<RegisteredBalance>& balance,
                              const std::optional<TestWeight>& weight, const CheckTexts& texts,
                              const QLocale& locale);
    // A number as the report shows it: up to 9 significant digits, no
    // exponent for the masses a balance shows.
    static QString Number(double value, const QLocale& locale);
    // The figures of a check, each as its formula with the values put in.
    static QStringList Formulas(const CheckRecord& check, const QLocale& locale);
};

} // namespace Pomiar
