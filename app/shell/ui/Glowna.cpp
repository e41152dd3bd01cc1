#include "Glowna.h"

#include "AcquisitionNotices.h"
#include "CycleGate.h"
#include "CycleSettings.h"
#include "Database.h"
#include "DebugForm.h"
#include "FormTexts.h"
#include "LanguageTexts.h"
#include "Opcje.h"
#include "StationSettings.h"
#include "StatisticsPanel.h"
#include "SwitchingToolTips.h"
#include "ToolbarIcons.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScopeGuard>
#include <QShortcut>
#include <QVBoxLayout>

namespace Pomiar {

Glowna::Glowna(ProgramContext& context, QWidget* parent)
    : QMainWindow(parent), context(context), commands(*this), station(context),
      store(station.Store()), session(station.Engine()),
      batchProgress(this, &context, WindowedProgress::Events::Run),
      seriesCommands(context, store, seriesWindow()), windows(context, store, session, this),
      labServer(context, station, this) {
    setObjectName(QStringLiteral("Glowna"));
    setWindowTitle(QStringLiteral("Trevalo"));

    addOperations();
    showCommandStates();
    buildCentralArea();
    status = new StatusFields(statusBar());
    balanceChecks = std::make_unique<BalanceCheckLink>(context, *this, commands, store, session);
    resize(1100, 650);

    auto* f8 = new QShortcut(QKeySequence(Qt::Key_F8), this);
    connect(f8, &QShortcut::activated, &windows, &ProgramWindows::ShowDebugForm);
    connectSession();
}

Glowna::~Glowna() = default;

bool Glowna::CompactDatabase() const {
    return MeasurementStore::KompaktujBaze(
        MeasurementStore::WorkingDatabasePath(context.programFolder));
}

void Glowna::connectSession() {
    session.Protocol().SetDebugSink([this](const QString& text, const QString& label) {
        if (windows.Debug())
            windows.Debug()->DebugText(text, label);
    });
    connect(&session, &AcquisitionSession::StateChanged, this, &Glowna::showCommandStates);
    connect(&windows, &ProgramWindows::CycleSettingsClosed, this, [this](int ticks, bool on) {
        session.SetInterval(ticks);
        session.SetCycleWork(on);
        showCycleImage(on);
    });
    connect(&session, &AcquisitionSession::LinkChanged, this, &Glowna::showLinkState);
    connect(&session, &AcquisitionSession::ReplyHandled, this,
            [this](const AcquisitionSession::Reply& reply) {
                if (reply.Taken())
                    status->ClearBalance();
                if (reply.outcome == AcquisitionSession::Outcome::Stored)
                    afterReadingPrompts();
            });
    connect(&session, &AcquisitionSession::UnstableChanged, this, &Glowna::showUnstable);
    connect(&session, &AcquisitionSession::ContinuousChanged, this, &Glowna::showContinuous);
    session.SetBatchProgress(&batchProgress);
    notices = new AcquisitionNotices(context, session, store, windows, *status, linkTexts, this);
}

void Glowna::addOperations() {
    commands.SetOperation(Command::Wyjscie, [this] { exitCommand(); });
    commands.SetOperation(Command::Odczyt, [this] { session.OdpytajWage(); });
    commands.SetOperation(Command::Tara, [this] { session.Tare(); });
    commands.SetOperation(Command::Opcje, [this] { showOptions(true); });
    commands.SetOperation(Command::Pomoc, [this] {
        windows.ShowGuide(helpFile, codeTexts.helpFileMissing, codeTexts.helpFileUnopened);
    });
    commands.SetOperation(Command::Connection, [this] { session.ToggleLink(); });
    commands.SetOperation(Command::Start, [this] { StartCommand(); });
    commands.SetOperation(Command::Stop, [this] { session.Stop(); });
    commands.SetOperation(Command::Pauza, [this] { session.Pause(); });
    commands.SetOperation(Command::Rozpocznij, [this] { session.ContinuousSwitch(); });
    commands.SetOperation(Command::Stabilny, [this] { session.UnstableSwitch(); });
    commands.SetOperation(Command::Cykl, [this] { ShowCycleSettings(); });
    commands.SetOperation(Command::Nowa, [this] { seriesCommands.NewSeries(); });
    commands.SetOperation(Command::Otworz, [this] { seriesCommands.OpenSeries(); });
    commands.SetOperation(Command::Zapisz, [this] { seriesCommands.Save(); });
    commands.SetOperation(Command::Wykres, [this] { windows.ShowChart(); });
    commands.SetOperation(Command::Wykresopcje, [this] { windows.ShowChartOptions(); });
    commands.SetOperation(Command::Languuage, [this] { windows.ShowLanguageChooser(); });
    commands.SetOperation(Command::Raport, [this] { windows.ShowReport(); });
    commands.SetOperation(Command::Drukuj, [this] { windows.Print(panel); });
    connect(&store, &MeasurementStore::SeriesChanged, &windows, &ProgramWindows::RedrawChart);
    connect(&store, &MeasurementStore::StoreFailed, this,
            [this](const QString& reason, int waiting) {
                seriesCommands.TellStoreFailed(reason, waiting);
            });
}

void Glowna::showCommandStates() {
    commands.ShowStates(session.State());
}

void Glowna::buildCentralArea() {
    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);

    auto* table = new QGroupBox(QStringLiteral("Tabela pomiarow:"), central);
    table->setObjectName(QStringLiteral("FrameTabela"));
    auto* tableLayout = new QVBoxLayout(table);
    gridCaption = new QLabel(table);
    gridCaption->setObjectName(QStringLiteral("DataGrid1Caption"));
    DataGrid1 = new SeriesGrid(store.Model(), table);
    DataGrid1->setObjectName(QStringLiteral("DataGrid1"));
    connect(DataGrid1, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { seriesCommands.EditDescription(index.row()); });
    tableLayout->addWidget(gridCaption);
    tableLayout->addWidget(DataGrid1);

    panel = new StatisticsPanel(context, store, central);
    layout->addWidget(table, 1);
    layout->addWidget(panel);
    setCentralWidget(central);
}

void Glowna::ApplyLanguageTexts() {
    ApplyFormTexts(context, this);
    AcquisitionNotices::Texts& told = notices->texts;
    // Found in the language file by their own words, in the window's section.
    const QList<QString*> texts{&told.communicationError,   &told.source,
                                &codeTexts.helpFileMissing, &codeTexts.helpFileUnopened,
                                &told.noInterval,           &told.nothingStored,
                                &told.undecodable,          &linkTexts.connected,
                                &linkTexts.notConnected,    &linkTexts.retrying,
                                &linkTexts.permissionRemedy};
    for (QString* text : texts + status->texts.All())
        *text = FormCodeText(context, *this, *text);
    labServer.ApplyLanguageTexts();
    seriesCommands.ApplyLanguageTexts();
}

bool Glowna::Load() {
    ApplyLanguageTexts();
    gridCaption->setText(context.Msg(32));
    DataGrid1->setToolTip(context.Msg(32));
    helpFile = FindHelpFile(context.LanguageFolder(), context.settings.helpFileName);
    setWindowTitle(windowTitle() + QStringLiteral(" v.") + QLatin1String(Version));
    StationSettings stored;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restoreCursor = qScopeGuard(&QApplication::restoreOverrideCursor);
        // Opening the store compacts the working database first.
        store.OtworzMagazyn();
        labServer.Start(statusBar());
        balanceChecks->Start();
        stored = StationSettings::Read(context);
    } catch (const DatabaseError& error) {
        return showLoadError(error.code, QString::fromLocal8Bit(error.what()));
    } catch (const SettingsError& error) {
        return showLoadError(error.errorNumber, error.Where());
    }
    store.SetMassFormat(stored.massFormat);
    // Before the link brings new readings.
    seriesCommands.OfferReadingsOfLastRun();
    if (!session.HasLink())
        return showLoadError(13, QString());
    // A new install's default port that does not exist is no error: the
    // user is offered the ports there are.
    if (stored.link.DefaultPortMissing() || !session.OpenLink(stored.link))
        showOptions(true);
    openCycleGate();
    store.Record(SeriesJournal::Event::ProgramStarted, context.applicationTitle.toUtf8());
    return true;
}

void Glowna::openCycleGate() {
    // The windows live in the working database, also while a series file is
    // bound in its place.
    cycleDatabase =
        std::make_unique<Database>(MeasurementStore::WorkingDatabasePath(context.programFolder));
    gate = std::make_unique<CycleGate>(*cycleDatabase);
    gate->LoadFirstRange();
    session.SetCycleWindows(gate.get());
    if (context.userSettings) {
        session.SetCycleWork(CycleSettings::CycleWorkOn(*context.userSettings));
        session.SetInterval(CycleSettings::StoredTicks(*context.userSettings));
    }
    showCycleImage(session.CycleWork());
}

void Glowna::showCycleImage(bool on) {
    commands.ToolbarButton(Command::Cykl)->setIcon(ToolbarIcons::Image(on ? 13 : 12));
}

void Glowna::ShowCycleSettings() {
    if (gate)
        windows.ShowCycleSettings(*gate);
}

bool Glowna::showLoadError(int number, const QString& description) {
    UserDialogs& dialogs = *context.dialogs;
    switch (number) {
    case 8005:
        dialogs.MessageBox(this, context.Msg(0), MsgButtons::Ok, MsgIcon::None, context.Msg(46));
        showOptions(false);
        break;
    case 13:
        // The setting that could not be read is named, so it can be mended
        // without reinstalling.
        dialogs.MessageBox(this,
                           description.isEmpty()
                               ? context.Msg(1)
                               : context.Msg(1) + QStringLiteral("\r\n\r\n") + description,
                           MsgButtons::Ok, MsgIcon::Information, context.Msg(46));
        break;
    case 8002:
        dialogs.MessageBox(this, context.Msg(2), MsgButtons::Ok, MsgIcon::None, context.Msg(46));
        showOptions(true);
        break;
    default:
        dialogs.MessageBox(this, QString::number(number) + QStringLiteral("  ") + description,
                           MsgButtons::Ok, MsgIcon::None, QString());
        break;
    }
    return false;
}

void Glowna::showOptions(bool cancelAvailable) {
    Opcje options(context, &session, this);
    options.SetCancelAvailable(cancelAvailable);
    context.dialogs->RunModal(options);
    if (const auto& link = options.AppliedLink()) {
        store.Record(SeriesJournal::Event::SettingChanged,
                     SeriesJournal::JoinFields({"link", session.LinkName().toUtf8(),
                                                link->dialect.Name().toUtf8(),
                                                link->lineFormat.Text().toUtf8()}));
    }
    showLinkStatus();
}

void Glowna::showLinkState(bool open) {
    commands.ToolbarButton(Command::Connection)
        ->setIcon(ToolbarIcons::Icon(open ? QStringLiteral("connected")
                                          : QStringLiteral("disconnected")));
    showLinkStatus();
}

void Glowna::showLinkStatus() {
    status->ShowLink(session.LinkStatusText(linkTexts));
}

void Glowna::exitCommand() {
    // While continuous transmission runs, Exit only ends it.
    if (session.ContinuousRunning())
        endAcquisition();
    else
        close();
}

void Glowna::endAcquisition() {
    if (session.Mode() == AcquisitionState::Mode::Automatic)
        session.Stop();
    if (session.ContinuousRunning())
        session.ContinuousSwitch();
}

void Glowna::showUnstable(bool on) {
    commands.ShowSwitch(
        Command::Stabilny, on,
        SwitchingToolTips::Text(context, on ? QStringLiteral("TB_23x") : QStringLiteral("TB_23")),
        ToolbarIcons::Image(on ? 20 : 22));
}

SeriesCommands::Window Glowna::seriesWindow() {
    SeriesCommands::Window window;
    window.widget = this;
    // A new series is no longer the file whose journal was shown.
    window.clearChartReport = [this] {
        windows.ClearChartReport();
        status->ClearJournal();
    };
    window.seriesOpened = [this] {
        windows.RedrawChart();
        windows.RaportDoWykresu();
    };
    window.logError = [this](const QString& error) { notices->LogReadingError(error); };
    window.journalChecking = [this] { status->ShowJournalChecking(); };
    window.journalChecked = [this](const SeriesJournal::Verification& verified) {
        status->ShowJournal(verified);
    };
    return window;
}

void Glowna::afterReadingPrompts() {
    // Never during automatic work: nobody is there to answer.
    if (session.AutomaticWorkRunning())
        return;
    const Settings& settings = context.settings;
    if (!settings.pomiarShowNote && !settings.pomiarShowSave)
        return;
    // Asked once the link's delivery has returned: a modal prompt inside it
    // would hold the link until answered. A reading that arrives while the
    // prompt is open is stored without one of its own.
    QTimer::singleShot(0, this, [this, row = store.RowCount() - 1] {
        if (promptOpen || closing)
            return;
        promptOpen = true;
        const auto reopen = qScopeGuard([this] { promptOpen = false; });
        seriesCommands.EditDescription(row);
        if (context.settings.pomiarShowSave)
            context.dialogs->MessageBox(this, context.Msg(49), MsgButtons::Ok, MsgIcon::None,
                                        QString());
    });
}

void Glowna::StartCommand() {
    if (!seriesCommands.ConfirmDiscardWaiting())
        return;
    if (!seriesCommands.AskToSaveExisting())
        return;
    seriesCommands.StopJournalCheck();
    store.NowaSeria();
    windows.CloseChart();
    session.Start();
}

void Glowna::showContinuous(bool on) {
    commands.ShowSwitch(
        Command::Rozpocznij, on,
        SwitchingToolTips::Text(context, on ? QStringLiteral("TB_22x") : QStringLiteral("TB_22")),
        ToolbarIcons::Image(on ? 23 : 21));
    if (!on) {
        windows.CloseFilm();
        update();
        return;
    }
    windows.ShowFilm();
}

void Glowna::closeEvent(QCloseEvent* event) {
    // While loading (not yet shown) the window closes at once, without
    // questions or clean-up.
    if (closing || !isVisible()) {
        event->accept();
        return;
    }
    // The balance is told to stop streaming and what it sent is stored
    // before anything is asked, however the window is closed.
    endAcquisition();
    if (!seriesCommands.ConfirmClose()) {
        event->ignore();
        return;
    }
    closing = true;
    finishClose();
    event->accept();
}

void Glowna::finishClose() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    compactionAttempts->Reset();
    // The closing compaction needs the working database to itself.
    labServer.Stop();
    // The check of an opened file lets go of it before it is written.
    seriesCommands.StopJournalCheck();
    store.Record(SeriesJournal::Event::ProgramClosed);
    try {
        store.ClearSeriesTables();
    } catch (const DatabaseError& error) {
        notices->LogReadingError(QString::fromLocal8Bit(error.what()));
    }
    session.Close();
    windows.CloseFilm();
    // Each other window through its own close path, so that what a window
    // keeps on closing (the cycle settings, the chart's place) is kept.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != this && window->isVisible())
            window->close();
    QApplication::restoreOverrideCursor();
    emit Closed();
}

} // namespace Pomiar
