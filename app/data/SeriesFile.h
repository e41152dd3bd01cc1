#pragma once

#include "Database.h"

#include <QLocale>
#include <QString>
#include <exception>
#include <functional>
#include <memory>

namespace Pomiar {

class Progress;

// Series files ("*.ser": an SQLite file with the tables Pomiary, Temp and
// Raport), CSV export, and the file-name rules of the save command. No
// windows here: the main window asks the questions and calls these.
namespace SeriesFile {

enum class SaveResult { Completed, Cancelled, Failed };

// Writes the series of source (its pomiary rows in table order, its first
// raport row) as a series file at path. The file is written beside the
// target as path + ".part" and replaces the target by a rename only when
// it is complete, so an existing file survives a cancelled or failed save
// unchanged, and no partial file is left behind; what a save cut short
// (the program killed) left there is cleared by the next save of that name.
// Each row gets status "0" (a marked one keeps its mark); an empty Opis becomes " ", a null one
// stays null; times are written in whole seconds, as new readings are stored.
//
// progress (may be null) gets the caption "Zapisywanie (ESC aby anulowac)"
// with the range 0 to the row count, and a Step before every row with the
// rows written so far; a Step answering false cancels. Events run now and
// then during the loop, so the progress window sees its Escape key.
//
// A target that is in use (FileLock::InUse) or is the source's own file, or
// a target another save is writing just now, is refused as Failed. error
// (may be null) gets the reason of a failure: the system's text where a
// file operation failed, never the name of the file written beside.
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
// - dates and date-times as stored: "yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss"
//   (a Godzina with a fraction of a second, as older files hold, in whole
//   seconds like the rest);
// - integers plainly ("12", "-3");
// - reals (the masses) to 15 significant digits, trailing zeros dropped,
//   never in exponent form, with the decimal separator of locale and no
//   grouping: 12.3456 gives "12,3456" in Polish, "12.3456" in English;
// - texts as stored.
//
// trailer, when not empty, is one more line after the rows (the journal's
// identity, JournalIdentity::TrailerLine); it is off by default, as
// importers that predate it would read it as a row.
//
// Throws std::runtime_error when the file cannot be written, its what() the
// reason (FailureReason); what was appended by this call is taken away again.
void EksportCSV(Database& source, const QString& path,
                const std::function<QString(const QString& columnName)>& caption,
                const QLocale& locale, const QString& trailer = {});
// The same for rows another reader hands over (SeriesJournal::VerifyFile
// while it verifies them): readRows is called once with the visitor to give
// every row of pomiary to, all its columns in table order; the trailer is
// asked for after the last row.
void EksportCSV(const std::function<void(const Database::RowViewVisitor& visit)>& readRows,
                const QString& path,
                const std::function<QString(const QString& columnName)>& caption,
                const QLocale& locale, const std::function<QString()>& trailer);

// What the user is told about a failed save, export or open: the system's
// text for a failed file operation, else the engine's message.
QString FailureReason(const std::exception& failure);

// What opening a series file can do with it, found without writing to it:
// bind it, show it without binding (the system lets us only read it), or
// nothing (the file cannot be read, or is empty, foreign or not a series
// file). reason (may be null) gets the system's text when it cannot be read.
// With toWrite, a writable series file the engine keeps in rollback mode,
// with no journal or log beside it, is told on a connection that may write
// (to such a file it writes nothing until asked) and handed out in toWrite,
// so that the open does not open it twice before its rows show.
enum class FileState { Writable, ReadOnly, Unreadable, NotASeriesFile };
FileState Examine(const QString& path, QString* reason,
                  std::unique_ptr<Database>* toWrite = nullptr);

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
