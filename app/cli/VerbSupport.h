#pragma once

#include "ExitCode.h"

#include <QString>

namespace Trevalo {

class ConsoleSession;
class ReadingPrinter;
struct Invocation;
struct StationSetup;

// Tells the user on standard error and answers code.
int Fail(ExitCode code, const QString& message);
// A note on standard error that ends nothing.
void Warn(const QString& message);
// Milliseconds as seconds in a message ("0.3").
QString SecondsText(int ms);

// Reads the station's settings: Success, or the failure told and its code.
int LoadSettings(const Invocation& run, StationSetup& station);
// Opens the station's link: Success, or the failure told and its code.
int Connect(ConsoleSession& console);

// The end of a run that stores readings: those still waiting for the disk
// get one more try and what is stored is printed. Success, or FileFailed
// with the number of readings lost told (file: where they were to go, empty
// for the run's own series).
int FinishStoring(ConsoleSession& console, ReadingPrinter& printer, const QString& file);

} // namespace Trevalo
