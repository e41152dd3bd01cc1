#include "JournalIdentity.h"

#include "Database.h"

#include <QStringList>

namespace Pomiar::JournalIdentity {

namespace {

// Enough of the head hash to compare by eye, short enough for one line.
constexpr int headDigits = 16;

// %1 to %9 of pattern replaced in one pass: a wording may leave places out
// or reorder them, and a "%" in a user's name is never read as a place.
QString Filled(const QString& pattern, const QStringList& values) {
    QString text;
    text.reserve(pattern.size() + 64);
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const int place = i + 1 < pattern.size() ? pattern[i + 1].digitValue() : -1;
        if (pattern[i] == u'%' && place >= 1 && place <= values.size()) {
            text += values[place - 1];
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

// The words for what the journal does not vouch for. A wording without
// them says so in the export's words rather than as if the series were
// whole.
QString LackWords(SeriesJournal::Verification::Lack lack, const Wording& wording) {
    using Lack = SeriesJournal::Verification::Lack;
    const Wording fixed = ExportWording();
    const auto either = [](const QString& own, const QString& otherwise) {
        return own.isEmpty() ? otherwise : own;
    };
    switch (lack) {
    case Lack::ReadingsBefore:
        return either(wording.unvouched, fixed.unvouched);
    case Lack::ReadingsPartly:
        return either(wording.partly, fixed.partly);
    case Lack::Report:
        return either(wording.report, fixed.report);
    case Lack::None:
        break;
    }
    return wording.journal;
}

} // namespace

Identity Of(Database& database, const QString& station, const QDateTime& at) {
    SeriesJournal::Verification verified;
    try {
        verified = SeriesJournal::Verify(database);
    } catch (const DatabaseError& error) {
        // Held by another program past the wait: nothing is vouched for.
        verified.state = SeriesJournal::Verification::State::Broken;
        verified.where = error.Reason();
    }
    return Of(verified, station, at);
}

Identity Of(const SeriesJournal::Verification& verified, const QString& station,
            const QDateTime& at) {
    using Lack = SeriesJournal::Verification::Lack;
    const Lack lack = verified.FirstLack();
    return Identity{SeriesJournal::Author::Here(station),
                    at.isValid() ? at : QDateTime::currentDateTime(),
                    verified.state,
                    verified.rows,
                    verified.head,
                    lack,
                    lack == Lack::ReadingsBefore   ? verified.readingsBefore
                    : lack == Lack::ReadingsPartly ? verified.readingsPartly
                                                   : 0};
}

Wording ExportWording() {
    return Wording{QStringLiteral("journal: station %1, user %2, exported %3, %4 rows, head %5"),
                   QStringLiteral("journal: station %1, user %2, exported %3, no journal"),
                   QStringLiteral("journal: station %1, user %2, exported %3, %4 rows, head %5, "
                                  "NOT VERIFIED after them"),
                   QStringLiteral("journal: station %1, user %2, exported %3, %4 rows, head %5, "
                                  "NOT VOUCHED FOR: %6 readings older than the journal"),
                   QStringLiteral("journal: station %1, user %2, exported %3, %4 rows, head %5, "
                                  "NOT VOUCHED FOR: the Timer and LpTekst of %6 readings "
                                  "(entries of an earlier version)"),
                   QStringLiteral("journal: station %1, user %2, exported %3, %4 rows, head %5, "
                                  "NOT VOUCHED FOR: the report, older than the journal")};
}

QString Text(const Identity& identity, const Wording& wording) {
    using State = SeriesJournal::Verification::State;
    const QString pattern = identity.state == State::NoJournal ? wording.noJournal
                            : identity.state == State::Broken  ? wording.broken
                                                               : LackWords(identity.lack, wording);
    return Filled(pattern, {identity.author.station, identity.author.user, TimeText(identity.at),
                            QString::number(identity.rows),
                            QString::fromLatin1(identity.head.toHex().left(headDigits)),
                            QString::number(identity.lacking)});
}

QString TrailerLine(const Identity& identity) {
    return QStringLiteral("# ") + Text(identity, ExportWording());
}

QString TimeText(const QDateTime& at) {
    const int offset = at.offsetFromUtc() / 60;
    const int magnitude = qAbs(offset);
    return at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) +
           QStringLiteral("%1%2:%3")
               .arg(QChar(offset < 0 ? u'-' : u'+'))
               .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
               .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

} // namespace Pomiar::JournalIdentity
