#include "Raport.h"

#include "Database.h"
#include "FormTexts.h"
#include "LanguageTexts.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "ReportText.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace Pomiar {

namespace {

QPushButton* NamedButton(const QString& name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

QFont CourierFont() {
    QFont font(QStringLiteral("Courier"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(10);
    return font;
}

} // namespace

Raport::Raport(ProgramContext& context, MeasurementStore& store, QWidget* parent)
    : QDialog(parent), context(context), store(store) {
    setObjectName(QStringLiteral("Raport"));
    setWindowTitle(QStringLiteral("Raport"));
    setModal(true);

    Picture1 = new QFrame(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    static_cast<QFrame*>(Picture1)->setFrameShape(QFrame::StyledPanel);
    Picture1->setBackgroundRole(QPalette::Base);
    Picture1->setAutoFillBackground(true);
    Picture1->setMinimumSize(480, 320);
    Picture1->installEventFilter(this);
    lblRaport = new QLabel(Picture1);
    lblRaport->setObjectName(QStringLiteral("lblRaport"));
    lblRaport->setTextFormat(Qt::PlainText);
    lblRaport->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblRaport->setFont(CourierFont());
    lblRaport->setMargin(4);
    VScroll1 = new QScrollBar(Qt::Vertical, this);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    VScroll1->setRange(0, 0);
    connect(VScroll1, &QScrollBar::valueChanged, this,
            [this](int value) { lblRaport->move(0, -value); });

    Command1 = NamedButton(QStringLiteral("Command1"), QStringLiteral("&Zapisz z seria"), this);
    Command3 = NamedButton(QStringLiteral("Command3"), QStringLiteral("&Drukuj"), this);
    cmdSaveAs = NamedButton(QStringLiteral("cmdSaveAs"), QStringLiteral("Zapisz &jako..."), this);
    Command2 = NamedButton(QStringLiteral("Command2"), QStringLiteral("Za&mknij"), this);
    connect(Command1, &QPushButton::clicked, this, &Raport::Command1Click);
    connect(Command3, &QPushButton::clicked, this, &Raport::Command3Click);
    connect(cmdSaveAs, &QPushButton::clicked, this, &Raport::cmdSaveAsClick);
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);

    auto* view = new QHBoxLayout;
    view->setSpacing(0);
    view->addWidget(Picture1, 1);
    view->addWidget(VScroll1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(Command3);
    buttons->addWidget(cmdSaveAs);
    buttons->addStretch(1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(view, 1);
    layout->addLayout(buttons);

    try {
        if (const auto stored = ReportText::Stored(store.Bound())) {
            tekst = *stored;
            Command1->setEnabled(false);
        }
    } catch (const DatabaseError& error) {
        showError(QString::fromUtf8(error.what()));
    }
    showText();
    ApplyFormTexts(context, this);
    printFailed = FormCodeText(context, *this, printFailed);
}

Raport::~Raport() {
    capturing = false;
}

void Raport::done(int result) {
    capturing = false;
    if (captureEnded)
        captureEnded();
    QDialog::done(result);
}

void Raport::AppendFrame(const QByteArray& frame) {
    if (!capturing || frame.isEmpty())
        return;
    tekst += ReportText::FrameText(frame, QDateTime::currentDateTime());
    // What arrived since the report was stored is not stored yet.
    Command1->setEnabled(true);
    showText();
}

void Raport::showText() {
    QString shown = tekst;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lblRaport->setText(shown);
    lblRaport->adjustSize();
    lblRaport->resize(qMax(lblRaport->width(), Picture1->width()), lblRaport->height());
    updateScrollRange();
}

void Raport::updateScrollRange() {
    VScroll1->setRange(0, qMax(0, lblRaport->height() - Picture1->height()));
    VScroll1->setPageStep(qMax(1, Picture1->height()));
    VScroll1->setSingleStep(qMax(1, lblRaport->fontMetrics().height()));
    lblRaport->move(0, -VScroll1->value());
}

void Raport::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    showText();
}

bool Raport::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Picture1) {
        if (event->type() == QEvent::Resize)
            updateScrollRange();
        else if (event->type() == QEvent::Wheel)
            return QApplication::sendEvent(VScroll1, event);
    }
    return QDialog::eventFilter(watched, event);
}

void Raport::Command1Click() {
    if (tekst.isEmpty())
        return;
    try {
        switch (store.SaveReport(tekst)) {
        case ReportText::SaveResult::NoReadings:
            context.dialogs->MessageBox(this, context.Msg(30), MsgButtons::Ok, MsgIcon::Exclamation,
                                        context.Msg(45));
            return;
        case ReportText::SaveResult::Empty:
            return;
        case ReportText::SaveResult::Saved:
            break;
        }
    } catch (const DatabaseError& error) {
        showError(QString::fromUtf8(error.what()));
        return;
    }
    Command1->setEnabled(false);
    if (raportDoWykresu)
        raportDoWykresu();
}

void Raport::Command3Click() {
    if (tekst.isEmpty())
        return;
    const QPrinterInfo target = QPrinterInfo::defaultPrinter().isNull()
                                    ? QPrinterInfo::availablePrinters().value(0)
                                    : QPrinterInfo::defaultPrinter();
    if (target.isNull()) {
        printToPdf();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QPrinter printer(target, QPrinter::HighResolution);
    printer.setDocName(windowTitle());
    PrintText(printer, tekst);
    QApplication::restoreOverrideCursor();
    if (printer.printerState() == QPrinter::Error)
        showError(printFailed + u' ' + target.printerName());
}

// Without a printer the user is told so, and may keep the report as a PDF
// file laid out as the printer would have had it.
void Raport::printToPdf() {
    context.dialogs->MessageBox(this, context.Msg(15), MsgButtons::Ok, MsgIcon::Critical,
                                context.Msg(46));
    QString path = context.dialogs->SaveFileName(this, context.Msg(23), context.programFolder,
                                                 QStringLiteral("PDF (*.pdf)"), nullptr);
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        path += QStringLiteral(".pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setDocName(windowTitle());
    PrintText(printer, tekst);
    if (printer.printerState() == QPrinter::Error)
        showError(path);
}

void Raport::PrintText(QPrinter& printer, const QString& text) {
    printer.setFullPage(true);
    QPainter painter(&printer);
    if (!painter.isActive())
        return;
    const QFont font = CourierFont();
    painter.setFont(font);
    const double inch = printer.resolution();
    const double lineHeight = QFontMetricsF(font, &printer).lineSpacing();
    const double bottom = printer.pageLayout().fullRectPixels(printer.resolution()).height() - inch;
    double baseline = inch + QFontMetricsF(font, &printer).ascent();
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    // A text ending in a line break has no further line to print.
    const qsizetype count = lines.size() - (lines.size() > 1 && lines.back().isEmpty() ? 1 : 0);
    for (qsizetype i = 0; i < count; ++i) {
        if (baseline > bottom) {
            printer.newPage();
            baseline = inch + QFontMetricsF(font, &printer).ascent();
        }
        painter.drawText(QPointF(inch, baseline), lines[i]);
        baseline += lineHeight;
    }
}

void Raport::cmdSaveAsClick() {
    if (tekst.isEmpty())
        return;
    const QString path = context.dialogs->SaveFileName(
        this, context.Msg(23), context.programFolder, QStringLiteral("Text file (*.txt)"), nullptr);
    if (path.isEmpty())
        return;
    QString error;
    if (!ReportText::SaveFile(path, tekst, &error)) {
        showError(error);
        return;
    }
    context.dialogs->OpenWithDesktop(path);
}

void Raport::showError(const QString& text) {
    context.dialogs->MessageBox(this, text, MsgButtons::Ok, MsgIcon::Critical, context.Msg(46));
}

} // namespace Pomiar
