#include "SeriesReport.h"

#include "Database.h"
#include "Formaty.h"
#include "LanguageTexts.h"
#include "Magazyn.h"
#include "PasekProgress.h"
#include "ProgramContext.h"
#include "RaportTekst.h"
#include "StatystykaPanel.h"
#include "UserDialogs.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>
#include <array>
#include <map>
#include <memory>
#include <numeric>

namespace Pomiar {

namespace {

constexpr int columnCount = 7;
// Share of a half line each column takes: Lp, Data, Godzina, Timer, Masa,
// Jm, Opis.
constexpr std::array<double, columnCount> columnWeights{11, 16, 14, 10, 15, 6, 16};
constexpr int massColumn = 4;
// The widest value a column usually holds, for fitting the columns to their
// captions; descriptions are cut to their column in any case.
constexpr std::array<const char*, columnCount> columnSamples{
    "000000", "0000-00-00", "00:00:00", "000000", "-0000.0000", "mg", ""};
constexpr int statisticsRows = 6; // the left block; the right one takes the rest

using FieldMember = QString StatisticsFields::*;
// The order of the report's eleven values (Label14 to Label35).
constexpr std::array<FieldMember, 11> statisticsOrder{
    &StatisticsFields::lblLiczba,   &StatisticsFields::lblMin,     &StatisticsFields::lblMax,
    &StatisticsFields::lblSrednia,  &StatisticsFields::lblOSrenie, &StatisticsFields::lblOStd,
    &StatisticsFields::lblOKwadrat, &StatisticsFields::lblWar,     &StatisticsFields::lblEWar,
    &StatisticsFields::lblEOdch,    &StatisticsFields::lblSuma};

QFont ReportFont(double points, bool bold = false) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// Where everything goes on a page, in the printer's pixels from the top left
// corner of the printable area.
struct Layout {
    Layout(QPrinter& printer, const QStringList& columnCaptions) : printer(printer) {
        const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
        width = area.width();
        height = area.height();
        padding = Millimetres(2.5);
        cellGap = Millimetres(0.5);
        FitColumns(columnCaptions);
        titleHeight = Line(titleFont) * 1.6;
        headingHeight = Line(headingFont) * 1.5;
        statisticsHeight = Line(statisticsFont) * 1.35;
        columnsHeight = Line(columnsFont) * 1.6;
        lineHeight = Line(lineFont) * 1.35;
        footerHeight = Line(footerFont) * 2.0;
        frameHeight = padding * 2 + titleHeight + headingHeight + statisticsRows * statisticsHeight;
        reportHeaderHeight = frameHeight + headingHeight + Millimetres(3);
        firstPageLines = LinesBelow(reportHeaderHeight + columnsHeight);
        otherPageLines = LinesBelow(columnsHeight);
    }

    // Columns take their designed shares of a half line, widened where a
    // caption (a translated one may be longer) or a usual value needs more;
    // the room comes from the columns that have some to spare. When a half
    // line cannot hold them all, the column captions and the lines get a
    // smaller type instead of cut values.
    void FitColumns(const QStringList& captions) {
        const double halfWidth = HalfWidth();
        const double cellMargin = 2 * cellGap + Millimetres(0.5);
        const QFontMetricsF captionMetrics(columnsFont, &printer);
        const QFontMetricsF valueMetrics(lineFont, &printer);
        std::array<double, columnCount> text{};
        for (size_t i = 0; i < columnCount; ++i)
            text[i] = qMax(captionMetrics.horizontalAdvance(captions.value(int(i))),
                           valueMetrics.horizontalAdvance(QLatin1String(columnSamples[i])));
        const double allText = std::accumulate(text.begin(), text.end(), 0.0);
        const double roomForText = halfWidth - columnCount * cellMargin;
        if (allText > roomForText) {
            // A little below the exact ratio: type does not shrink quite linearly.
            const double scale = 0.97 * roomForText / allText;
            columnsFont.setPointSizeF(columnsFont.pointSizeF() * scale);
            lineFont.setPointSizeF(lineFont.pointSizeF() * scale);
            for (size_t i = 0; i < columnCount; ++i)
                columnWidths[i] = text[i] * roomForText / allText + cellMargin;
            return;
        }
        const double weights = std::accumulate(columnWeights.begin(), columnWeights.end(), 0.0);
        std::array<double, columnCount> needed{};
        double missing = 0;
        double spare = 0;
        for (size_t i = 0; i < columnCount; ++i) {
            columnWidths[i] = halfWidth * columnWeights[i] / weights;
            needed[i] = text[i] + cellMargin;
            missing += qMax(0.0, needed[i] - columnWidths[i]);
            spare += qMax(0.0, columnWidths[i] - needed[i]);
        }
        // The text fits, so what is spare covers what is missing.
        if (missing <= 0)
            return;
        const double given = missing / spare;
        for (size_t i = 0; i < columnCount; ++i) {
            const double slack = columnWidths[i] - needed[i];
            columnWidths[i] = slack < 0 ? needed[i] : columnWidths[i] - slack * given;
        }
    }

    double Line(const QFont& font) const { return QFontMetricsF(font, &printer).height(); }
    double Millimetres(double mm) const { return mm * printer.resolution() / 25.4; }
    int LinesBelow(double top) const {
        return qMax(1, int((height - footerHeight - top) / lineHeight));
    }
    int Pages(qint64 lines) const {
        if (lines <= firstPageLines)
            return 1;
        return 1 + int((lines - firstPageLines + otherPageLines - 1) / otherPageLines);
    }
    // Left edge and width of a column of the left (0) or right (1) half.
    QRectF Cell(int half, int column, double top, double rowHeight) const {
        const double left =
            half * (HalfWidth() + halfGap) +
            std::accumulate(columnWidths.begin(), columnWidths.begin() + column, 0.0);
        return QRectF(left, top, columnWidths[size_t(column)], rowHeight);
    }
    double HalfWidth() const { return (width - halfGap) / 2; }

    QPrinter& printer;
    const QFont titleFont = ReportFont(16, true);
    const QFont headingFont = ReportFont(11, true);
    const QFont statisticsFont = ReportFont(9);
    QFont columnsFont = ReportFont(7.5, true);
    QFont lineFont = ReportFont(7);
    const QFont footerFont = ReportFont(8);
    double width = 0, height = 0;
    double titleHeight = 0, headingHeight = 0, statisticsHeight = 0, columnsHeight = 0;
    double lineHeight = 0, footerHeight = 0, padding = 0, cellGap = 0, frameHeight = 0;
    double reportHeaderHeight = 0;
    int firstPageLines = 0, otherPageLines = 0;
    const double halfGap = Millimetres(4);
    std::array<double, columnCount> columnWidths{};
};

QString NumberText(const QVariant& value) {
    return value.isNull() || !value.isValid() ? QString() : QString::number(value.toLongLong());
}

QString DateTimeText(const QVariant& value, const QString& pattern) {
    const QDateTime stored = Database::ParseDateTime(value);
    return stored.isValid() ? stored.toString(pattern) : QString();
}

// One half of a line: Lp, data, Godzina, Timer, Masa, Jm, Opis as stored.
QStringList HalfLine(const QVariantList& row, int first, const SeriesReport::Content& content) {
    const QVariant mass = row.value(first + massColumn);
    return {NumberText(row.value(first)),
            DateTimeText(row.value(first + 1), QStringLiteral("yyyy-MM-dd")),
            DateTimeText(row.value(first + 2), QStringLiteral("HH:mm:ss")),
            NumberText(row.value(first + 3)),
            mass.isNull() || !mass.isValid()
                ? QString()
                : Formaty::FormatNumber(mass.toDouble(), content.massFormat, content.locale),
            row.value(first + 5).toString(),
            row.value(first + 6).toString()};
}

class Painter {
public:
    Painter(QPrinter& printer, const SeriesReport::Content& content, qint64 lines)
        : printer(printer), layout(printer, content.texts.columns), content(content),
          pages(layout.Pages(lines)), painter(&printer) {}

    bool Active() const { return painter.isActive(); }

    void ReportHeader() {
        const Texts& texts = content.texts;
        painter.setPen(QPen(Qt::black, layout.Millimetres(0.3)));
        painter.drawRect(QRectF(0, 0, layout.width, layout.frameHeight));
        double y = layout.padding;
        Text(QRectF(0, y, layout.width, layout.titleHeight), layout.titleFont, texts.title,
             Qt::AlignCenter);
        y += layout.titleHeight;
        Text(QRectF(layout.padding, y, layout.width, layout.headingHeight), layout.headingFont,
             texts.heading, Qt::AlignLeft | Qt::AlignVCenter);
        y += layout.headingHeight;
        const double half = (layout.width - 2 * layout.padding) / 2;
        const double captionWidth = half * 0.55;
        for (int i = 0; i < int(statisticsOrder.size()); ++i) {
            const double left = layout.padding + (i < statisticsRows ? 0 : half);
            const double top = y + (i % statisticsRows) * layout.statisticsHeight;
            Text(QRectF(left, top, captionWidth, layout.statisticsHeight), layout.statisticsFont,
                 texts.statistics.value(i), Qt::AlignLeft | Qt::AlignVCenter);
            Text(QRectF(left + captionWidth, top, half - captionWidth, layout.statisticsHeight),
                 layout.statisticsFont, content.statistics.*statisticsOrder[size_t(i)],
                 Qt::AlignLeft | Qt::AlignVCenter);
        }
        y = layout.frameHeight + layout.Millimetres(1.5);
        Rule(y);
        Text(QRectF(0, y, layout.width, layout.headingHeight), layout.headingFont,
             texts.measurements, Qt::AlignCenter);
        Rule(y + layout.headingHeight);
        top = layout.reportHeaderHeight;
    }

    void PageHeader() {
        for (int half = 0; half < 2; ++half)
            for (int column = 0; column < columnCount; ++column)
                Text(layout.Cell(half, column, top, layout.columnsHeight), layout.columnsFont,
                     content.texts.columns.value(column), Alignment(column));
        top += layout.columnsHeight;
        Rule(top);
        linesOnPage = 0;
    }

    void Line(const QVariantList& row) {
        const int capacity = page == 1 ? layout.firstPageLines : layout.otherPageLines;
        if (linesOnPage == capacity) {
            Footer();
            printer.newPage();
            ++page;
            top = 0;
            PageHeader();
        }
        for (int half = 0; half < 2; ++half) {
            const QStringList cells = HalfLine(row, half * columnCount, content);
            for (int column = 0; column < columnCount; ++column)
                Text(layout.Cell(half, column, top, layout.lineHeight), layout.lineFont,
                     cells[column], Alignment(column));
        }
        top += layout.lineHeight;
        currentFont = nullptr;
        painter.setPen(QPen(Qt::lightGray, 0));
        painter.drawLine(QPointF(0, top), QPointF(layout.width, top));
        ++linesOnPage;
    }

    void Footer() {
        QString text = content.texts.footer;
        text.replace(QLatin1String("%P"), QString::number(pages));
        text.replace(QLatin1String("%p"), QString::number(page));
        Text(QRectF(0, layout.height - layout.footerHeight, layout.width, layout.footerHeight),
             layout.footerFont, text, Qt::AlignRight | Qt::AlignBottom);
    }

private:
    using Texts = SeriesReport::Texts;

    static Qt::Alignment Alignment(int column) {
        const bool number = column == 0 || column == 3 || column == massColumn;
        return (number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
    }

    void Text(const QRectF& box, const QFont& font, const QString& text, Qt::Alignment alignment) {
        if (text.isEmpty())
            return;
        if (&font != currentFont) {
            painter.setFont(font);
            painter.setPen(Qt::black);
            currentFont = &font;
        }
        // Cells keep a small gap so that neighbours never touch; long
        // descriptions are cut with an ellipsis rather than overwrite.
        const QRectF inner = box.adjusted(layout.cellGap, 0, -layout.cellGap, 0);
        const QFontMetricsF& metrics = Metrics(font);
        const QString shown = metrics.horizontalAdvance(text) <= inner.width()
                                  ? text
                                  : metrics.elidedText(text, Qt::ElideRight, inner.width());
        painter.drawText(inner, int(alignment) | Qt::TextSingleLine, shown);
    }

    const QFontMetricsF& Metrics(const QFont& font) {
        auto known = metrics.find(&font);
        if (known == metrics.end())
            known = metrics.emplace(&font, QFontMetricsF(font, &printer)).first;
        return known->second;
    }

    void Rule(double y) {
        currentFont = nullptr;
        painter.setPen(QPen(Qt::black, layout.Millimetres(0.3)));
        painter.drawLine(QPointF(0, y), QPointF(layout.width, y));
    }

    QPrinter& printer;
    Layout layout;
    const SeriesReport::Content& content;
    const int pages;
    QPainter painter;
    int page = 1;
    int linesOnPage = 0;
    double top = 0;
    // The pen and font set last, so that a line's cells do not set them again.
    const QFont* currentFont = nullptr;
    std::map<const QFont*, QFontMetricsF> metrics;
};

const QString tempQuery =
    QStringLiteral("SELECT Lp1, data1, Godzina1, Timer1, Masa1, Jm1, Opis1, "
                   "Lp2, data2, Godzina2, Timer2, Masa2, Jm2, Opis2 FROM %1 ORDER BY rowid")
        .arg(RaportTekst::TempTable);

// Only one report is prepared at a time: the progress window lets events
// run, and a second print command from there must not empty temp under the
// first.
bool preparing = false;

} // namespace

SeriesReport::Texts SeriesReport::DesignedTexts() {
    Texts texts;
    texts.caption = QStringLiteral("Raport z wazen");
    texts.title = QStringLiteral("Raport z wazen");
    texts.heading = QStringLiteral("Statystyka wazen");
    texts.statistics = {QStringLiteral("Ilosc pomiarow:"),
                        QStringLiteral("Wartosc minimalna:"),
                        QStringLiteral("Wartosc maksymalna:"),
                        QStringLiteral("Wartosc srednia:"),
                        QStringLiteral("Odchylenie srednie:"),
                        QStringLiteral("Odchylenie standardowe:"),
                        QStringLiteral("Odchylenie kwadratowe:"),
                        QStringLiteral("Wariancja:"),
                        QStringLiteral("Estymator wariancji:"),
                        QStringLiteral("Estymator odchylenia:"),
                        QStringLiteral("Suma wazen:")};
    texts.measurements = QStringLiteral("Pomiary");
    texts.columns = {QStringLiteral("Lp"),    QStringLiteral("Data"), QStringLiteral("Godzina"),
                     QStringLiteral("Timer"), QStringLiteral("Masa"), QStringLiteral("Jm"),
                     QStringLiteral("Opis")};
    texts.footer = QStringLiteral("%p z %P");
    return texts;
}

SeriesReport::Texts SeriesReport::TranslatedTexts(const ProgramContext& context) {
    Texts texts = DesignedTexts();
    if (context.programFolder.isEmpty() || context.settings.languageFileName.isEmpty())
        return texts;
    const QString file = context.LanguageFilePath();
    const auto look = [&file](QString& text) {
        if (!text.isEmpty())
            text = GetLangText(file, QStringLiteral("Rp1"), text, text);
    };
    texts.caption =
        GetLangText(file, QStringLiteral("Rp1"), QStringLiteral("RP1_N"), texts.caption);
    look(texts.title);
    look(texts.heading);
    for (QString& caption : texts.statistics)
        look(caption);
    look(texts.measurements);
    for (QString& caption : texts.columns)
        look(caption);
    look(texts.footer);
    return texts;
}

SeriesReport::SeriesReport(ProgramContext& context, Magazyn& store, QWidget* parent)
    : context(context), store(store), parent(parent) {}

void SeriesReport::SetUpPage(QPrinter& printer) {
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
}

void SeriesReport::Render(QPrinter& printer, Database& database, const Content& content) {
    const qint64 lines =
        database.Scalar(QStringLiteral("SELECT count(*) FROM %1").arg(RaportTekst::TempTable))
            .toLongLong();
    Painter painter(printer, content, lines);
    if (!painter.Active())
        return;
    painter.ReportHeader();
    painter.PageHeader();
    database.QueryEach(tempQuery, [&painter](const QVariantList& row) { painter.Line(row); });
    painter.Footer();
}

bool SeriesReport::RenderPdf(const QString& path, Database& database, const Content& content) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setDocName(content.texts.caption);
    SetUpPage(printer);
    Render(printer, database, content);
    return QFileInfo(path).size() > 0 && printer.printerState() != QPrinter::Error;
}

bool SeriesReport::ZapiszPdf(const QString& path) {
    return RenderPdf(path, store.Bound(), currentContent());
}

SeriesReport::Content SeriesReport::currentContent() const {
    return Content{store.Statistics(), store.MassFormat(), store.locale, TranslatedTexts(context)};
}

void SeriesReport::tickLiveStatistics() {
    if (panel && panel->Check1) {
        if (!panel->Check1->isChecked())
            panel->Check1->click();
        return;
    }
    if (!store.liveStatistics) {
        store.liveStatistics = true;
        if (store.RowCount() > 1)
            store.ObliczStatystyke();
    }
}

bool SeriesReport::prepare() {
    std::unique_ptr<PasekProgress> ownProgress;
    Progress* shown = progress;
    if (!shown) {
        ownProgress = std::make_unique<PasekProgress>(parent, &context);
        shown = ownProgress.get();
    }
    return RaportTekst::WypelnijTemp(store.Bound(), shown);
}

bool SeriesReport::Drukuj() {
    if (preparing)
        return false;
    preparing = true;
    struct Done {
        ~Done() { preparing = false; }
    } done;

    tickLiveStatistics();
    try {
        if (!prepare())
            return false;
    } catch (const DatabaseError& error) {
        context.dialogs->MessageBox(parent, QString::fromUtf8(error.what()), MsgButtons::Ok,
                                    MsgIcon::Critical, context.Msg(46));
        return false;
    }
    showPreview();
    return true;
}

void SeriesReport::showPreview() {
    const Content content = currentContent();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(content.texts.caption);
    SetUpPage(printer);
    QPrintPreviewDialog preview(&printer, parent);
    preview.setWindowTitle(content.texts.caption);
    QObject::connect(
        &preview, &QPrintPreviewDialog::paintRequested,
        [this, &content](QPrinter* target) { Render(*target, store.Bound(), content); });
    // Beside the preview's own print command, which prints or writes a PDF
    // through the print dialog, one click keeps the report as a PDF file.
    if (auto* toolbar = preview.findChild<QToolBar*>()) {
        QAction* pdf = toolbar->addAction(QStringLiteral("PDF"));
        pdf->setObjectName(QStringLiteral("cmdPdf"));
        pdf->setToolTip(context.Msg(23) + QStringLiteral(" PDF"));
        QObject::connect(pdf, &QAction::triggered, &preview,
                         [this, &preview] { savePdfFromPreview(&preview); });
    }
    if (runPreview)
        runPreview(preview);
    else
        preview.exec();
}

void SeriesReport::savePdfFromPreview(QWidget* preview) {
    QString path = context.dialogs->SaveFileName(preview, context.Msg(23), context.programFolder,
                                                 QStringLiteral("PDF (*.pdf)"), nullptr);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool written = ZapiszPdf(path);
    QApplication::restoreOverrideCursor();
    if (!written)
        context.dialogs->MessageBox(preview, path, MsgButtons::Ok, MsgIcon::Critical,
                                    context.Msg(46));
}

} // namespace Pomiar
