#include "ProgramWindows.h"

#include "AcquisitionSession.h"
#include "Cykl.h"
#include "DebugForm.h"
#include "Film.h"
#include "HelpWindow.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "Raport.h"
#include "SeriesJournal.h"
#include "SeriesReport.h"
#include "UserDialogs.h"
#include "Wykres.h"
#include "Wykresopcje.h"
#include "frmLanguage.h"

#include <QFile>
#include <QLabel>

namespace Pomiar {

ProgramWindows::ProgramWindows(ProgramContext& context, MeasurementStore& store,
                               AcquisitionSession& session, QWidget* owner)
    : context(context), store(store), session(session), owner(owner) {
    connect(&session, &AcquisitionSession::ReplyArrived, this, &ProgramWindows::captureReport);
}

ProgramWindows::~ProgramWindows() {
    delete debugForm;
}

void ProgramWindows::ShowChart() {
    wykres = Wykres::Show(context, store, wykres, owner);
}

void ProgramWindows::ShowChartOptions() {
    Wykresopcje dialog(context, owner);
    connect(&dialog, &Wykresopcje::Zapisano, this, &ProgramWindows::RedrawChart);
    context.dialogs->RunModal(dialog);
}

void ProgramWindows::RedrawChart() {
    if (wykres)
        wykres->Redraw();
}

void ProgramWindows::CloseChart() {
    if (wykres)
        wykres->close();
}

void ProgramWindows::ClearChartReport() {
    if (wykres)
        wykres->lblRaport->clear();
}

void ProgramWindows::RaportDoWykresu() {
    if (wykres)
        wykres->ShowReport();
}

Wykres* ProgramWindows::ChartWindow() const {
    return wykres.data();
}

void ProgramWindows::ShowReport() {
    Raport raport(context, store, owner);
    raport.raportDoWykresu = [this] { RaportDoWykresu(); };
    raport.captureEnded = [this] { session.SetReportCapture(false); };
    reportWindow = &raport;
    session.SetReportCapture(true);
    context.dialogs->RunModal(raport);
    session.SetReportCapture(false);
    reportWindow = nullptr;
}

void ProgramWindows::captureReport(const QByteArray& frame) {
    // The report window sees every reply while it is open; the session
    // keeps each as it came rather than reading it.
    if (Raport* capturing = CapturingReport())
        capturing->AppendFrame(frame);
}

Raport* ProgramWindows::CapturingReport() const {
    return reportWindow && reportWindow->Capturing() ? reportWindow : nullptr;
}

void ProgramWindows::Print(StatisticsPanel* panel) {
    SeriesReport report(context, store, owner, panel);
    if (report.Drukuj())
        store.Record(SeriesJournal::Event::SeriesPrinted);
}

void ProgramWindows::ShowLanguageChooser() {
    frmLanguage chooser(context, owner);
    context.dialogs->RunModal(chooser);
}

void ProgramWindows::ShowCycleSettings(CycleGate& gate) {
    if (!cycleDialog) {
        cycleDialog = new Cykl(context, gate, owner);
        cycleDialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(cycleDialog, &Cykl::Closed, this, &ProgramWindows::CycleSettingsClosed);
        connect(cycleDialog, &QObject::destroyed, this, [this] { cycleDialog = nullptr; });
    }
    cycleDialog->show();
    cycleDialog->raise();
}

void ProgramWindows::ShowFilm() {
    film = std::make_unique<Film>(context, owner);
    connect(film.get(), &Film::EscapePressed, this, [this] {
        if (session.ContinuousRunning())
            session.ContinuousSwitch();
    });
    film->show();
}

void ProgramWindows::CloseFilm() {
    if (film) {
        film->CloseByOwner();
        film.reset();
    }
}

void ProgramWindows::ShowDebugForm() {
    if (!debugForm) {
        debugForm = new DebugForm();
        connect(debugForm, &DebugForm::Opened, this,
                [this] { session.Protocol().debugShow = true; });
        connect(debugForm, &DebugForm::Closed, this,
                [this] { session.Protocol().debugShow = false; });
    }
    debugForm->show();
    debugForm->raise();
}

void ProgramWindows::ShowGuide(const QString& helpFile, const QString& missing,
                               const QString& unopened) {
    const bool exists = QFile::exists(helpFile);
    if (exists && context.dialogs->OpenWithDesktop(helpFile))
        return;
    // Without a viewer on the desktop the guide still shows, in a window of
    // the program's own.
    if (exists && HelpWindow::CanShow(helpFile)) {
        if (!helpWindow)
            helpWindow = new HelpWindow(helpFile, owner);
        helpWindow->show();
        helpWindow->raise();
        return;
    }
    const QString& problem = exists ? unopened : missing;
    context.dialogs->MessageBox(owner, problem + QStringLiteral("\r\n") + helpFile, MsgButtons::Ok,
                                MsgIcon::Information, context.Msg(47));
}

} // namespace Pomiar
