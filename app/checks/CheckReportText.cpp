#include "CheckReportText.h"

#include "CheckTexts.h"

#include <cmath>

namespace Pomiar {

namespace {

QString TimeText(const QDateTime& time) {
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

// The figures of a check as its formulas print them.
struct Figures {
    const CheckRecord& check;
    const QLocale& locale;

    QString n(double value) const { return CheckReportText::Number(value, locale); }
    std::optional<double> operator()(const char* name) const {
        return check.Figure(QString::fromLatin1(name));
    }
    QString unit() const { return u' ' + check.unit; }
};

QStringList RepeatabilityLines(const Figures& figure) {
    const CheckRecord& check = figure.check;
    const auto n = [&figure](double value) { return figure.n(value); };
    const QString unit = figure.unit();
    const auto count = figure("n"), mean = figure("mean"), s = figure("s"), used = figure("s_used"),
               mMin = figure("m_min"), ratio = figure("ratio_pct");
    QStringList lines;
    if (count)
        lines << QStringLiteral("n = %1").arg(n(*count));
    if (mean)
        lines << QStringLiteral("mean = \u03a3x / n = %1%2").arg(n(*mean), unit);
    if (s)
        lines << QStringLiteral("s = \u221a(\u03a3(x \u2212 mean)\u00b2 / (n \u2212 1)) = %1%2")
                     .arg(n(*s), unit);
    if (s && used)
        lines << QStringLiteral("s_used = max(s; 0.41\u00b7d) = max(%1; 0.41\u00b7%2) = %3%4")
                     .arg(n(*s), n(check.d), n(*used), unit);
    if (used && mMin)
        lines << QStringLiteral("m_min = 2000\u00b7s_used = 2000\u00b7%1 = %2%3")
                     .arg(n(*used), n(*mMin), unit);
    if (used && ratio && check.smallestNet > 0)
        lines << QStringLiteral("2\u00b7s_used / m_smallest = 2\u00b7%1 / %2 = %3 %")
                     .arg(n(*used), n(check.smallestNet), n(*ratio));
    if (mMin && check.safetyFactor > 0)
        lines << QStringLiteral("SF\u00b7m_min = %1\u00b7%2 = %3%4")
                     .arg(n(check.safetyFactor), n(*mMin), n(check.safetyFactor * *mMin), unit);
    return lines;
}

QStringList AccuracyLines(const Figures& figure) {
    const auto n = [&figure](double value) { return figure.n(value); };
    const QString unit = figure.unit();
    const auto reading = figure("reading"), mass = figure("conventional_mass"),
               deviation = figure("deviation"), percent = figure("deviation_pct"),
               tolerance = figure("tolerance");
    QStringList lines;
    if (reading && mass && deviation)
        lines << QStringLiteral("deviation = reading \u2212 m_c = %1 \u2212 %2 = %3%4")
                     .arg(n(*reading), n(*mass), n(*deviation), unit);
    if (deviation && mass && percent)
        lines << QStringLiteral("|deviation| / m_c \u00b7 100 = %1 / %2 \u00b7 100 = %3 %")
                     .arg(n(std::fabs(*deviation)), n(*mass), n(*percent));
    if (tolerance)
        lines << QStringLiteral("tolerance = %1%2").arg(n(*tolerance), unit);
    return lines;
}

QStringList EccentricityLines(const Figures& figure) {
    const auto n = [&figure](double value) { return figure.n(value); };
    const QString unit = figure.unit();
    const auto centre = figure("centre");
    QStringList lines;
    if (centre)
        lines << QStringLiteral("centre = %1%2").arg(n(*centre), unit);
    for (const CheckReading& reading : figure.check.readings) {
        if (reading.position == PanPosition::Centre || !centre)
            continue;
        lines << QStringLiteral("%1: %2 \u2212 %3 = %4%5")
                     .arg(PositionName(reading.position), n(reading.value), n(*centre),
                          n(reading.value - *centre), unit);
    }
    if (const auto deviation = figure("deviation"))
        lines << QStringLiteral("deviation = max |x \u2212 centre| = %1%2")
                     .arg(n(std::fabs(*deviation)), unit);
    return lines;
}

// The balance as the report names it: the register's description where it
// has one, else the id the check was made under.
QString BalanceText(const CheckRecord& check, const std::optional<RegisteredBalance>& balance,
                    const CheckTexts& texts, const QLocale& locale) {
    if (!balance)
        return check.balanceId;
    QStringList parts{balance->id};
    if (!balance->model.isEmpty())
        parts << balance->model;
    if (!balance->serialNumber.isEmpty())
        parts << texts("Numer seryjny") + u' ' + balance->serialNumber;
    if (balance->capacity > 0)
        parts << texts("Obciazenie maks.") + u' ' +
                     CheckReportText::Number(balance->capacity, locale) + u' ' + balance->unit;
    return parts.join(QStringLiteral(", "));
}

// The test weight: its id, what the register says of it, its mass.
QString WeightText(const CheckRecord& check, const std::optional<TestWeight>& weight,
                   const CheckTexts& texts, const QLocale& locale) {
    const auto n = [&locale](double value) { return CheckReportText::Number(value, locale); };
    QString weightText = check.weightId.isEmpty() ? texts("(spoza rejestru)") : check.weightId;
    if (weight) {
        weightText += QStringLiteral(", %1 %2 %3")
                          .arg(texts("Masa umowna"), n(weight->conventionalMass), weight->unit);
        if (!weight->weightClass.isEmpty())
            weightText += QStringLiteral(", %1 %2").arg(texts("Klasa"), weight->weightClass);
    }
    weightText +=
        QStringLiteral(", %1 %2").arg(texts("Masa wzorca:"), n(check.testMass)) + u' ' + check.unit;
    return weightText;
}

} // namespace

QString CheckReportText::Number(double value, const QLocale& locale) {
    if (value == 0)
        return QStringLiteral("0");
    // Digits enough for a reading of a microbalance, none invented.
    QString text =
        locale.toString(value, 'f', std::max(0, 8 - int(std::floor(std::log10(std::fabs(value))))));
    const QChar point = locale.decimalPoint().front();
    if (text.contains(point)) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(point))
            text.chop(1);
    }
    text.remove(locale.groupSeparator());
    return text;
}

QStringList CheckReportText::Formulas(const CheckRecord& check, const QLocale& locale) {
    const Figures figures{check, locale};
    QStringList lines;
    switch (check.kind) {
    case CheckKind::Repeatability:
        lines = RepeatabilityLines(figures);
        break;
    case CheckKind::Accuracy:
        lines = AccuracyLines(figures);
        break;
    case CheckKind::Eccentricity:
        lines = EccentricityLines(figures);
        break;
    }
    // Whatever else the check computed, by name.
    for (const CheckFigure& other : check.figures) {
        static const QStringList shown{
            QStringLiteral("n"),         QStringLiteral("mean"),
            QStringLiteral("s"),         QStringLiteral("s_used"),
            QStringLiteral("m_min"),     QStringLiteral("ratio_pct"),
            QStringLiteral("reading"),   QStringLiteral("conventional_mass"),
            QStringLiteral("deviation"), QStringLiteral("deviation_pct"),
            QStringLiteral("tolerance"), QStringLiteral("centre")};
        if (shown.contains(other.name) || other.name.startsWith(QLatin1String("deviation_")))
            continue;
        lines << QStringLiteral("%1 = %2").arg(other.name, figures.n(other.value));
    }
    return lines;
}

CheckReportText CheckReportText::Of(const CheckRecord& check,
                                    const std::optional<RegisteredBalance>& balance,
                                    const std::optional<TestWeight>& weight,
                                    const CheckTexts& texts, const QLocale& locale) {
    const auto n = [&locale](double value) { return Number(value, locale); };
    CheckReportText report;
    report.title =
        texts("Raport z kontroli wagi") + QStringLiteral(": ") + texts.KindText(check.kind);
    report.verdict = texts("Wynik") + QStringLiteral(": ") + texts.VerdictText(check.verdict);
    report.header << Row{texts("Waga"), BalanceText(check, balance, texts, locale)};
    report.header << Row{texts("Dzialka d"), n(check.d) + u' ' + check.unit};
    report.header << Row{texts("Odwaznik"), WeightText(check, weight, texts, locale)};
    report.header << Row{
        texts("Swiadectwo (wazne do)"),
        check.weightCertificate.isEmpty() && !check.weightCertificateDue
            ? texts("brak")
            : QStringLiteral("%1 (%2)").arg(check.weightCertificate,
                                            check.weightCertificateDue
                                                ? check.weightCertificateDue->toString(Qt::ISODate)
                                                : texts("brak"))};
    report.header << Row{texts("Operator"), check.operatorName};
    report.header << Row{texts("Stanowisko"),
                         check.host.isEmpty()
                             ? check.station
                             : check.station + QStringLiteral(" (") + check.host + u')'};
    report.header << Row{texts("Program"), check.program};
    report.header << Row{texts("Rozpoczeto"), TimeText(check.started)};
    report.header << Row{texts("Zakonczono"), TimeText(check.finished)};
    if (!check.refusal.isEmpty())
        report.header << Row{texts("Powod"), check.refusal};

    report.readingColumns = {texts("Lp"), texts("Pozycja"), texts("Odczyt"), texts("Jm"),
                             texts("Czas")};
    int number = 0;
    for (const CheckReading& reading : check.readings)
        report.readings << QStringList{QString::number(++number),
                                       texts.PositionText(reading.position), n(reading.value),
                                       reading.unit, TimeText(reading.at)};
    report.figures = Formulas(check, locale);
    const QString limitUnit =
        check.kind == CheckKind::Eccentricity ? u' ' + check.unit : QStringLiteral(" %");
    report.limits << Row{texts("Granica niezgodnosci"), n(check.limits.failure) + limitUnit};
    report.limits << Row{texts("Granica ostrzezenia"), check.limits.warning
                                                           ? n(*check.limits.warning) + limitUnit
                                                           : texts("brak")};
    report.limits << Row{texts("Zrodlo granic"), check.limits.source};
    report.warnings = check.warnings;
    report.identity =
        texts("Dziennik rejestru: wpis %1, skrot %2")
            .arg(QString::number(check.journalSeq), QString::fromLatin1(check.journalHash.toHex()));
    report.signatures = {
        texts("Wykonal (data, podpis): .........................................."),
        texts("Sprawdzil (data, podpis): ..........................................")};
    return report;
}

} // namespace Pomiar
