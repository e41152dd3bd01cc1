#pragma once

#include <QString>

#include <functional>

class QPrintPreviewDialog;

namespace Pomiar {

struct ProgramContext;

// Beside a print preview's own print command, which prints or writes a PDF
// through the print dialog, one click ("cmdPdf" in its toolbar) keeps the
// report as a PDF file: the operator names the file (".pdf" is added when it
// has no suffix), savePdf writes it, and a failure is said with the file's
// name.
void AddPdfCommand(ProgramContext& context, QPrintPreviewDialog& preview, const QString& toolTip,
                   const QString& caption, std::function<bool(const QString& path)> savePdf);

} // namespace Pomiar
