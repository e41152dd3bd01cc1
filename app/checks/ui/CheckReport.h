#pragma once

#include "CheckRecord.h"
#include "CheckReportText.h"

class QPrinter;
class QWidget;

namespace Pomiar {

class CheckRegister;
struct ProgramContext;

// The report of one check on paper: a print preview that prints it (or,
// through the print dialog, writes a PDF file), and a one-click PDF file.
// Laid out on A4 as the series report is.
class CheckReport {
public:
    CheckReport(ProgramContext& context, CheckRegister& checks, const CheckRecord& check,
                QWidget* parent = nullptr);

    const CheckReportText& Content() const { return content; }
    void Preview();
    // False when the file could not be written.
    bool SavePdf(const QString& path) const;
    void Render(QPrinter& printer) const;

private:
    ProgramContext& context;
    QWidget* parent;
    CheckReportText content;
};

} // namespace Pomiar
