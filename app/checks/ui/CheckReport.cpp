#include "CheckReport.h"

#include "CheckRegister.h"
#include "CheckTexts.h"
#include "Database.h"
#include "PdfCommand.h"
#include "ProgramContext.h"
#include "UserDialogs.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>

namespace Pomiar {

namespace {

QFont ReportFont(double points, bool bold = false) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// A4 with 15 mm margins, as the series report.
void SetUpPage(QPrinter& printer) {
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
}

// Draws the report top down, onto as many pages as it takes.
class Page {
public:
    explicit Page(QPrinter& printer) : printer(printer), painter(&printer) {
        const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
        width = area.width();
        height = area.height();
    }
    bool Active() const { return painter.isActive(); }
    double Mm(double mm) const { return mm * printer.resolution() / 25.4; }

    // A text over the given width; a new page first when it does not fit.
    void Text(const QString& text, const QFont& font, double left = 0, double right = -1,
              int flags = Qt::AlignLeft | Qt::TextWordWrap) {
        const double w = (right < 0 ? width : right) - left;
        painter.setFont(font);
        const QRectF box =
            painter.boundingRect(QRectF(left, top, w, height), flags | Qt::AlignTop, text);
        Room(box.height());
        painter.drawText(QRectF(left, top, w, box.height()), flags | Qt::AlignTop, text);
        top += box.height();
    }
    // Caption and value side by side.
    void Pair(const QString& caption, const QString& value, const QFont& font) {
        painter.setFont(font);
        const double split = width * 0.3;
        const QRectF box = painter.boundingRect(QRectF(split, top, width - split, height),
                                                Qt::TextWordWrap | Qt::AlignTop, value);
        const double h = std::max(box.height(), QFontMetricsF(font, &printer).height());
        Room(h);
        painter.drawText(QRectF(0, top, split - Mm(2), h), Qt::AlignLeft | Qt::AlignTop, caption);
        painter.drawText(QRectF(split, top, width - split, h), Qt::TextWordWrap | Qt::AlignTop,
                         value);
        top += h;
    }
    void Row(const QStringList& cells, const QList<double>& shares, const QFont& font) {
        painter.setFont(font);
        const double h = QFontMetricsF(font, &printer).height() * 1.25;
        Room(h);
        double left = 0;
        for (int i = 0; i < cells.size(); ++i) {
            const double w = width * shares.value(i);
            painter.drawText(QRectF(left + Mm(1), top, w - Mm(2), h),
                             (i == 2 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                             cells[i]);
            left += w;
        }
        top += h;
        painter.setPen(QPen(Qt::lightGray, 0));
        painter.drawLine(QPointF(0, top), QPointF(width, top));
        painter.setPen(Qt::black);
    }
    void Gap(double mm) { top += Mm(mm); }
    void Rule() {
        painter.setPen(QPen(Qt::black, Mm(0.3)));
        painter.drawLine(QPointF(0, top), QPointF(width, top));
        painter.setPen(Qt::black);
        top += Mm(1);
    }
    void Footer(const QString& text) {
        painter.setFont(ReportFont(8));
        painter.drawText(QRectF(0, height - Mm(6), width, Mm(6)), Qt::AlignRight | Qt::AlignBottom,
                         text);
    }
    int Pages() const { return page; }

private:
    void Room(double h) {
        if (top + h <= height - Mm(8) || top == 0)
            return;
        printer.newPage();
        ++page;
        top = 0;
    }

    QPrinter& printer;
    QPainter painter;
    double width = 0, height = 0, top = 0;
    int page = 1;
};

} // namespace

CheckReport::CheckReport(ProgramContext& context, CheckRegister& checks, const CheckRecord& check,
                         QWidget* parent)
    : context(context), parent(parent) {
    std::optional<RegisteredBalance> balance;
    std::optional<TestWeight> weight;
    try {
        balance = checks.Balance(check.balanceId);
        if (!check.weightId.isEmpty())
            weight = checks.Weight(check.weightId);
    } catch (const DatabaseError&) {
        // The record alone still makes the report.
    }
    content = CheckReportText::Of(check, balance, weight, CheckTexts(&context), QLocale::system());
}

void CheckReport::Render(QPrinter& printer) const {
    Page page(printer);
    if (!page.Active())
        return;
    const CheckTexts texts(&context);
    const QFont body = ReportFont(9), bold = ReportFont(9, true), heading = ReportFont(11, true);
    page.Text(content.title, ReportFont(15, true), 0, -1, Qt::AlignHCenter | Qt::TextWordWrap);
    page.Gap(2);
    page.Text(content.verdict, ReportFont(13, true), 0, -1, Qt::AlignHCenter | Qt::TextWordWrap);
    page.Gap(3);
    page.Rule();
    for (const auto& [caption, value] : content.header)
        page.Pair(caption, value, body);
    page.Gap(3);
    page.Text(texts("Odczyty"), heading);
    page.Rule();
    const QList<double> shares{0.08, 0.22, 0.2, 0.1, 0.4};
    page.Row(content.readingColumns, shares, bold);
    for (const QStringList& reading : content.readings)
        page.Row(reading, shares, body);
    page.Gap(3);
    page.Text(texts("Wielkosci"), heading);
    page.Rule();
    for (const QString& line : content.figures)
        page.Text(line, body);
    page.Gap(3);
    page.Text(texts("Granice"), heading);
    page.Rule();
    for (const auto& [caption, value] : content.limits)
        page.Pair(caption, value, body);
    if (!content.warnings.isEmpty()) {
        page.Gap(3);
        page.Text(texts("Ostrzezenia"), heading);
        page.Rule();
        for (const QString& warning : content.warnings)
            page.Text(QStringLiteral("\u2022 ") + warning, body);
    }
    page.Gap(4);
    page.Text(content.identity, ReportFont(7.5));
    page.Gap(12);
    for (const QString& line : content.signatures) {
        page.Text(line, body);
        page.Gap(10);
    }
    page.Footer(texts("Strona %1 z %2").arg(page.Pages()).arg(page.Pages()));
}

bool CheckReport::SavePdf(const QString& path) const {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setDocName(content.title);
    SetUpPage(printer);
    Render(printer);
    return QFileInfo(path).size() > 0 && printer.printerState() != QPrinter::Error;
}

void CheckReport::Preview() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(content.title);
    SetUpPage(printer);
    QPrintPreviewDialog preview(&printer, parent);
    preview.setWindowTitle(content.title);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested,
                     [this](QPrinter* target) { Render(*target); });
    const QString savePdf = CheckTexts(&context)("Zapisz PDF");
    AddPdfCommand(context, preview, savePdf, savePdf,
                  [this](const QString& path) { return SavePdf(path); });
    context.dialogs->RunModal(preview);
}

} // namespace Pomiar
