#include "PdfCommand.h"

#include "ProgramContext.h"
#include "UserDialogs.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QPrintPreviewDialog>
#include <QToolBar>

namespace Pomiar {

void AddPdfCommand(ProgramContext& context, QPrintPreviewDialog& preview, const QString& toolTip,
                   const QString& caption, std::function<bool(const QString& path)> savePdf) {
    auto* toolbar = preview.findChild<QToolBar*>();
    if (!toolbar)
        return;
    QAction* pdf = toolbar->addAction(QStringLiteral("PDF"));
    pdf->setObjectName(QStringLiteral("cmdPdf"));
    pdf->setToolTip(toolTip);
    QObject::connect(pdf, &QAction::triggered, &preview, [&context, &preview, caption, savePdf] {
        QString path = context.dialogs->SaveFileName(&preview, caption, context.programFolder,
                                                     QStringLiteral("PDF (*.pdf)"), nullptr);
        if (path.isEmpty())
            return;
        if (QFileInfo(path).suffix().isEmpty())
            path += QStringLiteral(".pdf");
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const bool written = savePdf(path);
        QApplication::restoreOverrideCursor();
        if (!written)
            context.dialogs->MessageBox(&preview, path, MsgButtons::Ok, MsgIcon::Critical,
                                        context.Msg(46));
    });
}

} // namespace Pomiar
