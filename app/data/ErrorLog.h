#pragma once

#include <QDateTime>
#include <QString>

// The error log of the reading path: two files in the program folder,
// "Error1.log" and "Error2.log", written in turn so that neither grows
// past about 100,000 bytes.
namespace Pomiar::ErrorLog {

inline constexpr qint64 FileLimit = 100000;

// Appends "date;time;module;procedure;text" + CR LF to the current file
// (dates "yyyy-MM-dd", times "HH:mm:ss"). Never throws; a log that cannot
// be written is skipped.
void ZapiszLog(const QString& programFolder, const QString& module, const QString& procedure,
               const QString& text, const QDateTime& now = QDateTime::currentDateTime());

} // namespace Pomiar::ErrorLog
