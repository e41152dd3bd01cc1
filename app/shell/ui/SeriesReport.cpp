#include "SeriesReport.h"

#include "Database.h"
#include "LanguageTexts.h"
#include "MeasurementStore.h"
#include "MinimumWeightRule.h"
#include "PdfCommand.h"
#include "ProgramContext.h"
#include "ReportText.h"
#include "StatisticsPanel.h"
#include "UserDialogs.h"
#include "WindowedProgress.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextLayout>
#include <QToolBar>
#include <array>
#include <memory>
#include <numeric>

namespace Pomiar {

namespace {

constexpr int columnCount = ReportText::ReportColumnCount;
// Share of a half line each column takes when the values leave room to
// spare: Lp, Data, Godzina, Timer, Masa, Jm, Opis.
constexpr std::array<double, columnCount> columnWeights{11, 16, 14, 10, 15, 6, 16};
constexpr int massColumn = ReportText::ReportMassColumn;
constexpr int descriptionColumn = 6;
// The narrowest a description column gets before the type gets smaller: a
// description wraps onto more rows of its line, a number never does.
constexpr double descriptionFloorMm = 25;
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

const QFont designedLineFont = ReportFont(7);

using LineCells = ReportText::ReportLine;

// The widest text printed in each column over all lines, measured in the
// designed type; the texts are kept to measure them again in a smaller one.
struct WidestTexts {
    std::array<QString, columnCount> texts;
    std::array<double, columnCount> widths{};
    qint64 lines = 0;

    void Take(const LineCells& cells, const QFontMetricsF& metrics) {
        for (const QStringList& half : cells)
            for (int column = 0; column < columnCount; ++column) {
                const QString& text = half[column];
                if (text.isEmpty())
                    continue;
                const double width = metrics.horizontalAdvance(text);
                if (width > widths[size_t(column)]) {
                    widths[size_t(column)] = width;
                    texts[size_t(column)] = text;
                }
            }
        ++lines;
    }
};

// Where everything goes on a page, in the printer's pixels from the top left
// corner of the printable area.
struct Layout {
    Layout(QPrinter& printer, const QStringList& columnCaptions, const WidestTexts& widest)
        : printer(printer) {
        const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
        width = area.width();
        height = area.height();
        padding = Millimetres(2.5);
        cellGap = Millimetres(0.5);
        FitColumns(columnCaptions, widest);
        titleHeight = Line(titleFont) * 1.6;
        headingHeight = Line(headingFont) * 1.5;
        statisticsHeight = Line(statisticsFont) * 1.35;
        columnsHeight = Line(columnsFont) * 1.6;
        lineHeight = Line(lineFont) * 1.35;
        rowSpacing = QFontMetricsF(lineFont, &printer).lineSpacing();
        footerHeight = Line(footerFont) * 2.0;
        frameHeight = padding * 2 + titleHeight + headingHeight + statisticsRows * statisticsHeight;
        reportHeaderHeight = frameHeight + headingHeight + Millimetres(3);
        descriptionsWrap =
            QFontMetricsF(lineFont, &printer).horizontalAdvance(widest.texts[descriptionColumn]) >
            DescriptionWidth();
    }

    // Every column holds its caption and its widest value. Room to spare is
    // shared out by the designed shares; when there is none, the
    // description column gives up room down to its floor and its texts wrap;
    // only when the other columns still do not fit does the type of the
    // captions and lines get smaller.
    void FitColumns(const QStringList& captions, const WidestTexts& widest) {
        const double halfWidth = HalfWidth();
        const double cellMargin = 2 * cellGap + Millimetres(0.5);
        std::array<double, columnCount> needed{};
        for (int attempt = 0;; ++attempt) {
            const QFontMetricsF captionMetrics(columnsFont, &printer);
            const QFontMetricsF valueMetrics(lineFont, &printer);
            for (size_t i = 0; i < columnCount; ++i)
                needed[i] = qMax(captionMetrics.horizontalAdvance(captions.value(int(i))),
                                 valueMetrics.horizontalAdvance(widest.texts[i])) +
                            cellMargin;
            const double others =
                std::accumulate(needed.begin(), needed.end(), 0.0) - needed[descriptionColumn];
            const double description =
                qMin(needed[descriptionColumn],
                     qMax(captionMetrics.horizontalAdvance(captions.value(descriptionColumn)) +
                              cellMargin,
                          Millimetres(descriptionFloorMm)));
            // A type a third of the designed one is the end, however long
            // the numbers (a pattern with dozens of places).
            if (others + description <= halfWidth || attempt == 20)
                break;
            columnsFont.setPointSizeF(columnsFont.pointSizeF() * 0.95);
            lineFont.setPointSizeF(lineFont.pointSizeF() * 0.95);
        }
        ShareOut(needed, halfWidth);
    }

    void ShareOut(const std::array<double, columnCount>& needed, double halfWidth) {
        const double allNeeded = std::accumulate(needed.begin(), needed.end(), 0.0);
        if (allNeeded > halfWidth) {
            columnWidths = needed;
            columnWidths[descriptionColumn] = 0;
            columnWidths[descriptionColumn] =
                halfWidth - std::accumulate(columnWidths.begin(), columnWidths.end(), 0.0);
            return;
        }
        const double weights = std::accumulate(columnWeights.begin(), columnWeights.end(), 0.0);
        double missing = 0;
        double spare = 0;
        for (size_t i = 0; i < columnCount; ++i) {
            columnWidths[i] = halfWidth * columnWeights[i] / weights;
            missing += qMax(0.0, needed[i] - columnWidths[i]);
            spare += qMax(0.0, columnWidths[i] - needed[i]);
        }
        // Everything fits, so what is spare covers what is missing.
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
    // Left edge and width of a column of the left (0) or right (1) half.
    QRectF Cell(int half, int column, double top, double rowHeight) const {
        const double left =
            half * (HalfWidth() + halfGap) +
            std::accumulate(columnWidths.begin(), columnWidths.begin() + column, 0.0);
        return QRectF(left, top, columnWidths[size_t(column)], rowHeight);
    }
    double HalfWidth() const { return (width - halfGap) / 2; }
    double DescriptionWidth() const { return columnWidths[descriptionColumn] - 2 * cellGap; }

    // A line is one row high, or as many as its longer description wraps to.
    double LineHeight(const LineCells& cells) const {
        if (!descriptionsWrap)
            return lineHeight;
        int rows = 1;
        for (const QStringList& half : cells)
            rows = qMax(rows, DescriptionRows(half[descriptionColumn]));
        return lineHeight + (rows - 1) * rowSpacing;
    }
    int DescriptionRows(const QString& description) const {
        if (description.isEmpty())
            return 1;
        QTextLayout wrapped(description, lineFont, &printer);
        wrapped.setTextOption(DescriptionOption());
        wrapped.beginLayout();
        int rows = 0;
        for (QTextLine row = wrapped.createLine(); row.isValid(); row = wrapped.createLine()) {
            row.setLineWidth(DescriptionWidth());
            ++rows;
        }
        wrapped.endLayout();
        return qMax(rows, 1);
    }
    // Descriptions wrap between words, and inside a word only when it is
    // longer than the column.
    static QTextOption DescriptionOption() {
        QTextOption option(Qt::AlignLeft | Qt::AlignTop);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        return option;
    }
    // Whether a line of this height starting at top leaves the page for the
    // next one; a page takes at least one line.
    bool BreaksPage(double top, double lineHeight, int linesOnPage) const {
        return linesOnPage > 0 && top + lineHeight > height - footerHeight;
    }

    // The identity wraps over the page's width below a gap; it goes whole
    // onto the next page when the last one has no room for it.
    double IdentityGap() const { return Millimetres(3); }
    QRectF IdentityBox(double top, const QString& text) const {
        const QRectF wrapped = QFontMetricsF(identityFont, &printer)
                                   .boundingRect(QRectF(0, 0, width, height), IdentityFlags, text);
        return QRectF(0, top + IdentityGap(), width, wrapped.height());
    }
    bool IdentityBreaksPage(double top, const QString& text) const {
        return top > 0 && IdentityBox(top, text).bottom() > height - footerHeight;
    }
    static constexpr int IdentityFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

    QPrinter& printer;
    const QFont titleFont = ReportFont(16, true);
    const QFont headingFont = ReportFont(11, true);
    const QFont statisticsFont = ReportFont(9);
    QFont columnsFont = ReportFont(7.5, true);
    QFont lineFont = designedLineFont;
    const QFont footerFont = ReportFont(8);
    const QFont identityFont = ReportFont(7.5);
    double width = 0, height = 0;
    double titleHeight = 0, headingHeight = 0, statisticsHeight = 0, columnsHeight = 0;
    double lineHeight = 0, rowSpacing = 0, footerHeight = 0, padding = 0, cellGap = 0;
    double frameHeight = 0, reportHeaderHeight = 0;
    bool descriptionsWrap = false;
    const double halfGap = Millimetres(4);
    std::array<double, columnCount> columnWidths{};
};

// Counts the pages the lines take, laying them out as the painter does.
class PageCount {
public:
    explicit PageCount(const Layout& layout)
        : layout(layout), top(layout.reportHeaderHeight + layout.columnsHeight) {}

    void Add(double lineHeight) {
        if (layout.BreaksPage(top, lineHeight, linesOnPage)) {
            ++pages;
            top = layout.columnsHeight;
            linesOnPage = 0;
        }
        top += lineHeight;
        ++linesOnPage;
    }
    void AddIdentity(const QString& text) {
        if (!text.isEmpty() && layout.IdentityBreaksPage(top, text))
            ++pages;
    }
    int Pages() const { return pages; }

private:
    const Layout& layout;
    double top;
    int linesOnPage = 0;
    int pages = 1;
};

class Painter {
public:
    Painter(QPrinter& printer, const SeriesReport::Content& content, const WidestTexts& widest)
        : printer(printer), layout(printer, content.texts.columns, widest), content(content),
          painter(&printer) {}

    bool Active() const { return painter.isActive(); }
    const Layout& Lines() const { return layout; }
    void SetPages(int count) { pages = count; }

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
        const QFont font = StatisticsFont(captionWidth, half - captionWidth);
        for (int i = 0; i < int(statisticsOrder.size()); ++i) {
            const double left = layout.padding + (i < statisticsRows ? 0 : half);
            const double top = y + (i % statisticsRows) * layout.statisticsHeight;
            Text(QRectF(left, top, captionWidth, layout.statisticsHeight), font,
                 texts.statistics.value(i), Qt::AlignLeft | Qt::AlignVCenter);
            Text(QRectF(left + captionWidth, top, half - captionWidth, layout.statisticsHeight),
                 font, content.statistics.*statisticsOrder[size_t(i)],
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

    void Line(const LineCells& cells) {
        const double height = layout.LineHeight(cells);
        if (layout.BreaksPage(top, height, linesOnPage)) {
            Footer();
            printer.newPage();
            ++page;
            top = 0;
            PageHeader();
        }
        for (int half = 0; half < 2; ++half)
            for (int column = 0; column < columnCount; ++column) {
                const QString& text = cells[size_t(half)][column];
                if (column == descriptionColumn)
                    Description(layout.Cell(half, column, top, height), text);
                else
                    Text(layout.Cell(half, column, top, layout.lineHeight), layout.lineFont, text,
                         int(Alignment(column)) | Qt::TextSingleLine);
            }
        top += height;
        fontSet = false;
        painter.setPen(QPen(Qt::lightGray, 0));
        painter.drawLine(QPointF(0, top), QPointF(layout.width, top));
        ++linesOnPage;
    }

    void Identity(const QString& text) {
        if (text.isEmpty())
            return;
        if (layout.IdentityBreaksPage(top, text)) {
            Footer();
            printer.newPage();
            ++page;
            top = 0;
        }
        const QRectF box = layout.IdentityBox(top, text);
        Rule(box.top() - layout.IdentityGap() / 2);
        UseFont(layout.identityFont);
        painter.drawText(box, Layout::IdentityFlags, text);
        top = box.bottom();
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

    // The statistics' type, smaller when a caption or a value (the sum of a
    // long series) would not fit its box.
    QFont StatisticsFont(double captionBox, double valueBox) const {
        const QFontMetricsF metrics(layout.statisticsFont, &printer);
        const double inner = 2 * layout.cellGap;
        double scale = 1;
        for (int i = 0; i < int(statisticsOrder.size()); ++i) {
            const double caption = metrics.horizontalAdvance(content.texts.statistics.value(i));
            const double value =
                metrics.horizontalAdvance(content.statistics.*statisticsOrder[size_t(i)]);
            if (caption > 0)
                scale = qMin(scale, (captionBox - inner) / caption);
            if (value > 0)
                scale = qMin(scale, (valueBox - inner) / value);
        }
        QFont font = layout.statisticsFont;
        font.setPointSizeF(font.pointSizeF() * scale * (scale < 1 ? 0.97 : 1));
        return font;
    }

    void UseFont(const QFont& font) {
        if (!fontSet || font != shownFont) {
            painter.setFont(font);
            painter.setPen(Qt::black);
            shownFont = font;
            fontSet = true;
        }
    }

    // Texts are never cut: the layout made room for every one of them, and
    // a text that is a hair wider than its box still shows whole.
    void Text(const QRectF& box, const QFont& font, const QString& text, int flags) {
        if (text.isEmpty())
            return;
        UseFont(font);
        const QRectF inner = box.adjusted(layout.cellGap, 0, -layout.cellGap, 0);
        painter.drawText(inner, flags | Qt::TextDontClip, text);
    }

    void Description(const QRectF& box, const QString& text) {
        if (text.isEmpty())
            return;
        UseFont(layout.lineFont);
        // Drawn through the same text layout that counted its rows.
        const QRectF inner = box.adjusted(layout.cellGap, 0, -layout.cellGap, 0);
        const double firstRowOffset = (layout.lineHeight - layout.rowSpacing) / 2;
        painter.drawText(inner.adjusted(0, qMax(0.0, firstRowOffset), 0, 0), text,
                         Layout::DescriptionOption());
    }

    void Rule(double y) {
        fontSet = false;
        painter.setPen(QPen(Qt::black, layout.Millimetres(0.3)));
        painter.drawLine(QPointF(0, y), QPointF(layout.width, y));
    }

    QPrinter& printer;
    Layout layout;
    const SeriesReport::Content& content;
    int pages = 1;
    QPainter painter;
    int page = 1;
    int linesOnPage = 0;
    double top = 0;
    // The pen and font set last, so that a line's cells do not set them again.
    QFont shownFont;
    bool fontSet = false;
};

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
    texts.belowMinimum = QStringLiteral("<m: masa netto ponizej masy minimalnej wagi (SF x m min)");
    const QString identity =
        QStringLiteral("Dziennik serii: stanowisko %1, uzytkownik %2, wydrukowano %3");
    texts.identity = {identity + QStringLiteral(", wpisow %4, skrot %5"),
                      identity + QStringLiteral(", brak dziennika"),
                      identity + QStringLiteral(", wpisow %4, skrot %5, NIEZWERYFIKOWANY po nich"),
                      identity + QStringLiteral(", wpisow %4, skrot %5, BEZ POSWIADCZENIA: %6 "
                                                "pomiarow starszych niz dziennik"),
                      identity + QStringLiteral(", wpisow %4, skrot %5, BEZ POSWIADCZENIA: Timer "
                                                "i LpTekst %6 pomiarow (wpisy wczesniejszej "
                                                "wersji)"),
                      identity + QStringLiteral(", wpisow %4, skrot %5, BEZ POSWIADCZENIA: raport "
                                                "starszy niz dziennik")};
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
    look(texts.belowMinimum);
    look(texts.identity.journal);
    look(texts.identity.noJournal);
    look(texts.identity.broken);
    look(texts.identity.unvouched);
    look(texts.identity.partly);
    look(texts.identity.report);
    return texts;
}

SeriesReport::SeriesReport(ProgramContext& context, MeasurementStore& store, QWidget* parent,
                           StatisticsPanel* panel, Progress* progress)
    : context(context), store(store), parent(parent), panel(panel), progress(progress) {}

void SeriesReport::SetUpPage(QPrinter& printer) {
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
}

void SeriesReport::Render(QPrinter& printer, Database& database, const Content& content) {
    // The columns are fitted to every value printed, so the lines are read
    // once to measure them, once more to count the pages when descriptions
    // wrap, and once to draw them.
    WidestTexts widest;
    const QFontMetricsF designed(designedLineFont, &printer);
    const auto eachLine = [&](const std::function<void(const LineCells&)>& take) {
        ReportText::EachTempLine(database, content.massFormat, content.locale, take);
    };
    eachLine([&](const LineCells& cells) { widest.Take(cells, designed); });
    Painter painter(printer, content, widest);
    if (!painter.Active())
        return;
    PageCount pages(painter.Lines());
    if (painter.Lines().descriptionsWrap) {
        eachLine([&](const LineCells& cells) { pages.Add(painter.Lines().LineHeight(cells)); });
    } else {
        for (qint64 line = 0; line < widest.lines; ++line)
            pages.Add(painter.Lines().lineHeight);
    }
    pages.AddIdentity(content.identity);
    painter.SetPages(pages.Pages());
    painter.ReportHeader();
    painter.PageHeader();
    eachLine([&](const LineCells& cells) { painter.Line(cells); });
    painter.Identity(content.identity);
    painter.Footer();
}

bool SeriesReport::SavePdf(const QString& path) {
    const Content content = currentContent();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setDocName(content.texts.caption);
    SetUpPage(printer);
    Render(printer, store.Bound(), content);
    return QFileInfo(path).size() > 0 && printer.printerState() != QPrinter::Error;
}

SeriesReport::Content SeriesReport::currentContent() const {
    Content content{
        store.Statistics(), store.MassFormat(), store.Locale(), TranslatedTexts(context), {}};
    content.identity = JournalIdentity::Text(
        JournalIdentity::Of(store.Bound(), context.settings.nrWagi), content.texts.identity);
    // The mark is explained where the report has one.
    try {
        if (store.Bound()
                .Scalar(QStringLiteral("SELECT count(*) FROM pomiary WHERE status = ?"),
                        {QString::fromLatin1(MinimumWeightRule::Mark)})
                .toLongLong() > 0)
            content.identity = content.texts.belowMinimum + u'\n' + content.identity;
    } catch (const DatabaseError&) {
    }
    return content;
}

void SeriesReport::tickLiveStatistics() {
    if (panel && panel->Check1) {
        if (!panel->Check1->isChecked())
            panel->Check1->click();
        return;
    }
    if (!store.LiveStatistics()) {
        store.SetLiveStatistics(true);
        if (store.RowCount() > 1)
            store.ObliczStatystyke();
    }
}

bool SeriesReport::prepare() {
    std::unique_ptr<WindowedProgress> ownProgress;
    Progress* shown = progress;
    if (!shown) {
        ownProgress = std::make_unique<WindowedProgress>(parent, &context);
        shown = ownProgress.get();
    }
    return ReportText::FillTemp(store.Bound(), shown);
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
    AddPdfCommand(context, preview, context.Msg(23) + QStringLiteral(" PDF"), context.Msg(23),
                  [this](const QString& path) { return SavePdf(path); });
    context.dialogs->RunModal(preview);
}

} // namespace Pomiar
