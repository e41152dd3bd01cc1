#include "Wykres.h"

#include "MeasurementStore.h"
#include "PerUserSettings.h"
#include "ProgramContext.h"
#include "UserDialogs.h"

#include <QAction>
#include <QApplication>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <QScrollArea>
#include <QSet>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

namespace Pomiar {

namespace {

// A font of the family, or of its kind where the family is missing.
QFont FontOf(const QString& family, QFont::StyleHint kind) {
    QFont font(family);
    font.setStyleHint(kind);
    return font;
}

QLineSeries* NamedSeries(const QString& name) {
    auto* series = new QLineSeries;
    series->setName(name);
    return series;
}

const QString langSection = QStringLiteral("D10");
constexpr int defaultWidth = 9600 / 15;
// Markers on every point only while they stay apart.
constexpr int pointsShownUpTo = 100;

} // namespace

Wykres::Wykres(ProgramContext& context, MeasurementStore& store, QWidget* parent)
    : QWidget(parent, Qt::Window), context(context), store(store) {
    setObjectName(QStringLiteral("Wykres"));
    setWindowTitle(QStringLiteral("Wykres"));
    setAttribute(Qt::WA_DeleteOnClose);
    BuildWindow();
    ApplyTexts();
    Redraw();
    SetReport(true);
}

void Wykres::BuildWindow() {
    chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    masy = NamedSeries(QStringLiteral("Masa"));
    gorna = NamedSeries(QStringLiteral("Gorna granica"));
    dolna = NamedSeries(QStringLiteral("Dolna granica"));
    osX = new QCategoryAxis;
    osX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    osX->setStartValue(0);
    osY = new QValueAxis;
    // The values on the axis read as the grid shows them: the locale's
    // decimal separator, no grouping. Localised labels need the precision
    // written out.
    osY->setLabelFormat(QStringLiteral("%.6g"));
    QLocale numbers = store.Locale();
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    chart->setLocale(numbers);
    chart->setLocalizeNumbers(true);
    chart->addAxis(osX, Qt::AlignBottom);
    chart->addAxis(osY, Qt::AlignLeft);
    for (QLineSeries* series : {masy, gorna, dolna}) {
        chart->addSeries(series);
        series->attachAxis(osX);
        series->attachAxis(osY);
    }
    MSChart1 = new QChartView(chart);
    MSChart1->setObjectName(QStringLiteral("MSChart1"));
    MSChart1->setRenderHint(QPainter::Antialiasing);

    lblRaport = new QLabel;
    lblRaport->setObjectName(QStringLiteral("lblRaport"));
    lblRaport->setFont(FontOf(QStringLiteral("Courier New"), QFont::TypeWriter));
    lblRaport->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    reportArea = new QScrollArea;
    reportArea->setWidget(lblRaport);
    reportArea->setWidgetResizable(true);
    reportArea->setFrameShape(QFrame::NoFrame);
    reportArea->setFixedHeight(HeightWithReport - HeightWithoutReport);
    reportArea->hide();

    txtPodpis = new QLineEdit;
    txtPodpis->setObjectName(QStringLiteral("txtPodpis"));
    txtPodpis->setFont(FontOf(QStringLiteral("Arial"), QFont::SansSerif));

    mnu = new QMenu(QStringLiteral("Menu"), this);
    mnu->setObjectName(QStringLiteral("mnu"));
    mnudrukuj = mnu->addAction(QStringLiteral("&Drukuj"));
    mnudrukuj->setObjectName(QStringLiteral("mnudrukuj"));
    connect(mnudrukuj, &QAction::triggered, this, &Wykres::Drukuj);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MSChart1, 1);
    layout->addWidget(reportArea);
    layout->addWidget(txtPodpis);
    resize(defaultWidth, HeightWithoutReport);
}

void Wykres::ApplyTexts() {
    setWindowTitle(context.Lang(langSection, QStringLiteral("x"), windowTitle()));
    mnu->setTitle(context.Lang(langSection, mnu->title(), mnu->title()));
    mnudrukuj->setText(context.Lang(langSection, mnudrukuj->text(), mnudrukuj->text()));
    for (QLineSeries* series : {masy, gorna, dolna})
        series->setName(context.Lang(langSection, series->name(), series->name()));
}

bool Wykres::CanOpen(ProgramContext& context, MeasurementStore& store, QWidget* parent) {
    const ChartOptions opcje = ChartOptions::Load(context.userSettings.get());
    if (store.RowCount() < opcje.ReadingsNeeded()) {
        context.dialogs->MessageBox(parent, context.Msg(3), MsgButtons::Ok, MsgIcon::None,
                                    context.Msg(46));
        return false;
    }
    if (opcje.ostatnie && !store.FirstReadingTimed()) {
        context.dialogs->MessageBox(parent, context.Msg(7), MsgButtons::Ok, MsgIcon::None,
                                    QString());
        return false;
    }
    return true;
}

Wykres* Wykres::Show(ProgramContext& context, MeasurementStore& store, Wykres* open,
                     QWidget* parent) {
    if (!CanOpen(context, store, parent)) {
        if (open)
            open->close();
        return nullptr;
    }
    Wykres* wykres = open;
    if (wykres) {
        wykres->ShowReport();
    } else {
        wykres = new Wykres(context, store, parent);
    }
    wykres->show();
    wykres->raise();
    wykres->activateWindow();
    return wykres;
}

void Wykres::Redraw() {
    const ChartOptions opcje = ChartOptions::Load(context.userSettings.get());
    const ChartData dane = ChartData::Select(store, opcje);
    const std::vector<double>& values = store.Values();
    const int count = static_cast<int>(dane.rows.size());

    std::vector<double> shown(size_t(count), 0.0);
    for (int k = 0; k < count; ++k)
        shown[size_t(k)] = values[size_t(dane.rows[size_t(k)])];
    const auto [lowest, highest] = std::minmax_element(shown.begin(), shown.end());
    double low = count > 0 ? *lowest : std::numeric_limits<double>::infinity();
    double high = count > 0 ? *highest : -std::numeric_limits<double>::infinity();
    const QList<QPointF> points = ChartPoints(shown);
    masy->replace(points);
    masy->setPointsVisible(count <= pointsShownUpTo);

    // The horizontal axis holds one place per row, half a place of margin
    // on either side; the limit lines run across all of it.
    const double left = 0.5, right = count + 0.5;
    if (opcje.ostatnie) {
        gorna->replace({QPointF(left, opcje.gorna), QPointF(right, opcje.gorna)});
        dolna->replace({QPointF(left, opcje.dolna), QPointF(right, opcje.dolna)});
        low = std::min({low, opcje.gorna, opcje.dolna});
        high = std::max({high, opcje.gorna, opcje.dolna});
    } else {
        gorna->clear();
        dolna->clear();
    }
    gorna->setVisible(opcje.ostatnie);
    dolna->setVisible(opcje.ostatnie);
    chart->legend()->setVisible(opcje.ostatnie);

    osX->setRange(left, std::max(right, 1.5));
    SetLabels(dane, opcje.ostatnie);
    SetAxisY(opcje, low, high);
}

void Wykres::SetLabels(const ChartData& dane, bool lastN) {
    for (const QString& label : osX->categoriesLabels())
        osX->remove(label);
    // The axis tells its categories apart by label; a series whose
    // numbering restarted (continuous batches) repeats labels.
    QSet<QString> used;
    const int count = static_cast<int>(dane.rows.size());
    for (int k = 0; k < count; k += dane.labelStep) {
        QString label = store.LpTekst(dane.rows[size_t(k)]);
        if (lastN)
            label += QLatin1Char(' ');
        while (used.contains(label))
            label += QLatin1Char(' ');
        used.insert(label);
        osX->append(label, k + 1);
    }
}

void Wykres::SetAxisY(const ChartOptions& opcje, double low, double high) {
    if (!opcje.osAuto) {
        osY->setTickCount(11);
        osY->setRange(opcje.osMin, opcje.osMax);
        return;
    }
    if (!std::isfinite(low) || !std::isfinite(high)) {
        low = 0;
        high = 1;
    } else {
        // A margin keeps the limit lines and the extreme readings off the
        // frame of the plot.
        const double margin =
            low == high ? (low == 0 ? 1 : std::abs(low) * 0.01) : (high - low) * 0.05;
        low -= margin;
        high += margin;
    }
    osY->setTickCount(5);
    osY->setRange(low, high);
    osY->applyNiceNumbers();
}

void Wykres::ShowReport() {
    SetReport(false);
}

void Wykres::SetReport(bool loading) {
    const QString text = store.StoredReport();
    const bool stored = !text.isEmpty();
    lblRaport->setText(text);
    reportArea->setVisible(stored);
    if (stored)
        resize(width(), HeightWithReport);
    else if (loading)
        resize(width(), HeightWithoutReport);
}

void Wykres::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Wykres::contextMenuEvent(QContextMenuEvent* event) {
    mnu->popup(event->globalPos());
}

void Wykres::ShowMessage(int index, int titleIndex) {
    context.dialogs->MessageBox(this, context.Msg(index), MsgButtons::Ok, MsgIcon::None,
                                titleIndex < 0 ? QString() : context.Msg(titleIndex));
}

bool Wykres::ChoosePrinter(QPrinter& printer) {
    if (context.dialogs->PrintersAvailable())
        return context.dialogs->ChoosePrinter(this, printer);
    QString chosenFilter;
    QString path = context.dialogs->SaveFileName(
        this, mnudrukuj->text().remove(QLatin1Char('&')),
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
        QStringLiteral("PDF (*.pdf)"), &chosenFilter);
    if (path.isEmpty()) {
        ShowMessage(16, 46);
        return false;
    }
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    return true;
}

void Wykres::Drukuj() {
    // The caption prints as text on the page, without its box.
    txtPodpis->setFrame(false);
    const QPixmap image = grab();
    txtPodpis->setFrame(true);

    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(image.width() > image.height() ? QPageLayout::Landscape
                                                              : QPageLayout::Portrait);
    if (!ChoosePrinter(printer))
        return;
    const bool toFile = !printer.outputFileName().isEmpty();
    if (toFile) {
        QFile file(printer.outputFileName());
        if (!file.open(QIODevice::WriteOnly)) {
            context.dialogs->MessageBox(
                this, QStringLiteral("%1  %2").arg(int(file.error())).arg(file.errorString()),
                MsgButtons::Ok, MsgIcon::None, QString());
            return;
        }
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QPainter painter;
    if (!painter.begin(&printer)) {
        QApplication::restoreOverrideCursor();
        ShowMessage(16, 46);
        return;
    }
    const QRect page = painter.viewport();
    const QSize size = image.size().scaled(page.size(), Qt::KeepAspectRatio);
    painter.drawPixmap(QRect(page.topLeft(), size), image);
    painter.end();
    QApplication::restoreOverrideCursor();
}

} // namespace Pomiar
