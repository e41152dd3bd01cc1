#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

namespace Pomiar {

class Database;
class Progress;

// The instrument's own reports (a calibration printout, for example) as the
// report window collects them, and the lines of the printed series report.
namespace ReportText {

// The instrument's printer codes turned into what the program shows: its
// degree sign (248) into that of code page 1250 (176), a line "D" into the
// date "dd-mm-yyyy" of now, ESC "C" at a line end into a blank and the time
// "hh:mm:ss" of now, and any other ESC dropped.
QByteArray Rewrite(const QByteArray& raw, const QDateTime& now);

// A received frame as report text: rewritten, then read as code page 1250.
QString FrameText(const QByteArray& frame, const QDateTime& now);

// The report stored with the series in table raport, if there is one.
std::optional<QString> Stored(Database& database);

enum class SaveResult { Empty, NoReadings, Saved };

// Stores the report as the one row of table raport. An empty report does
// nothing; a series without readings keeps its table as it was, as a
// calibration report belongs to the readings it came with. Throws
// DatabaseError.
SaveResult Save(Database& database, const QString& report);

// Writes the report as the file's whole content, in code page 1250, with
// nothing added. False (error set to the file and the system's reason) when
// it could not be written; the old file is then left as it was.
bool SaveFile(const QString& path, const QString& report, QString* error = nullptr);

// The table the series report's lines are built in and read from: temp of
// a private temporary database attached to the connection of the series.
// Printing so writes nothing into the series file, which may be read-only,
// and the lines go when the connection closes.
inline const QString TempTable = QStringLiteral("report.temp");

// Fills TempTable from the readings of the database: line k holds reading
// k on the left and reading k + ceil(n / 2) on the right, the right half of
// the last line staying empty for an odd n. Runs in slices that let events
// run, so that the progress window sees Escape; false when it was stopped
// there (the table then keeps what was built so far). Throws DatabaseError.
bool FillTemp(Database& database, Progress* progress);

// A line of the series report as printed: the texts of its left and right
// halves, each Lp, data, Godzina, Timer, Masa, Jm, Opis; an empty half for
// the odd last reading. A mass below the minimum weight is followed by the
// mark (MinimumWeightRule::Mark).
inline constexpr int ReportColumnCount = 7;
inline constexpr int ReportMassColumn = 4;
using ReportLine = std::array<QStringList, 2>;

// Hands the lines of TempTable to take, in their order: dates as
// "yyyy-MM-dd", times as "HH:mm:ss", masses in the mass format and locale.
// Throws DatabaseError.
void EachTempLine(Database& database, const QString& massFormat, const QLocale& locale,
                  const std::function<void(const ReportLine&)>& take);

} // namespace ReportText
} // namespace Pomiar
