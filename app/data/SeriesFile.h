#pragma once

#include <QLocale>
#include <QString>
#include <functional>

namespace Pomiar {

class Database;
class Progress;

// Series files ("*.ser": an SQLite file with the tables Pomiary, Temp and
// Raport), CSV export, and the file-name rules of the save command. No
// windows here: the main window asks the questions and calls these.
namespace SeriesFile {

enum class SaveResult { Completed, Cancelled, Failed };

// Writes the series of source (its pomiary rows in table order, its first
// raport row) as a series file at path. The file is written beside the
// target under another name and replaces the target by a rename only when
// it is complete and compacted, so an existing file survives a cancelled or
// failed save unchanged, and no partial file is left behind. Each row gets
// status "0"; an empty Opis becomes " ", a null one stays null.
//
// progress (may be null) gets the caption "Zapisywanie (ESC aby anulowac)"
// with the range 0 to the row count, and a Step before every row with the
// rows written so far; a Step answering false cancels. Events run now and
// then during the loop, so the progress window sees its Escape key.
//
// A target that is in use (FileLock::InUse) or is the source's own file is
// refused as Failed. error (may be null) gets the reason of a failure.
SaveResult ZapiszSerie(Database& source, const QString& path, Progress* progress, QString* error);

// Appends the series of source to the CSV file at path; a file that does not
// exist yet is created with a header line first. Nothing is written for a
// series without rows.
//
// Layout: every column of pomiary in table order; the header holds each
// column's caption(columnName); fields separated by ";" and never quoted (a
// text holding ";" or a line break is written as it is); null as nothing;
// every line, the last one too, ended by CR LF; code page 1250 on disk.
// Value forms, fixed whatever the desktop's settings:
// - dates and date-times as stored: "yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss";
// - integers plainly ("12", "-3");
// - reals (the masses) to 15 significant digits, trailing zeros dropped,
//   never in exponent form, with the decimal separator of locale and no
//   grouping: 12.3456 gives "12,3456" in Polish, "12.3456" in English;
// - texts as stored.
//
// Throws std::runtime_error when the file cannot be written; what was
// appended by this call is taken away again.
void EksportCSV(Database& source, const QString& path,
                const std::function<QString(const QString& columnName)>& caption,
                const QLocale& locale);

// The form a real takes in the export.
QString CsvNumber(double value, const QLocale& locale);

// Fast export is in force when its switch is on and it has a file name.
bool FastExportInForce(bool enabled, const QString& name);
// Its file: programFolder + "/" + name + ".csv".
QString FastExportPath(const QString& programFolder, const QString& name);

// A chosen file name whose last four characters are not exactly ".ser" or
// ".csv" gets the ending of the chosen filter ("Pliki wazen (*.ser)",
// "Export CSV[;] (*.csv)"); any other name, an empty one, or a filter
// without an ending leaves the name unchanged.
QString WithEnding(const QString& chosen, const QString& chosenFilter);

} // namespace SeriesFile
} // namespace Pomiar
