#include "Glowna.h"

#include "CycleGate.h"
#include "CycleSettings.h"
#include "Cykl.h"
#include "Database.h"
#include "DebugForm.h"
#include "ErrorLog.h"
#include "Film.h"
#include "FormTexts.h"
#include "INI.h"
#include "LanguageTexts.h"
#include "Mordal.h"
#include "Opcje.h"
#include "PerUserSettings.h"
#include "ReadingHandler.h"
#include "SeriesReport.h"
#include "StatisticsPanel.h"
#include "SwitchingToolTips.h"
#include "ToolbarIcons.h"
#include "UserDialogs.h"
#include "WindowedProgress.h"
#include "frmLanguage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

namespace Pomiar {

namespace {

struct ToolbarSpec {
    const char* key;
    const char* toolTip;
};

// The toolbar in its order; a click runs the operation named by the key.
constexpr ToolbarSpec toolbarSpecs[] = {
    {"nowa", "Nowa seria"},
    {"otworz", "Otworz serie"},
    {"zapisz", "Zapisz serie"},
    {"drukuj", "Drukuj"},
    {"raport", "Raport"},
    {"wykres", "Pokaz wykres"},
    {"start", "Start - praca automatyczna"},
    {"stop", "Stop - praca automatyczna"},
    {"pauza", "Pauza - praca automatyczna"},
    {"opcje", "Opcje"},
    {"cykl", "Ustawienia cyklu"},
    {"wykresopcje", "Ustawienia wykresu"},
    {"odczyt", "Odczyt z wagi"},
    {"tara", "Tarowanie wagi"},
    {"rozpocznij", "Klinij, aby rozpoczac transmisje ciagla."},
    {"stabilny", "Kliknij, aby pobrac dane niestabilne."},
    {"pomoc", "Pomoc"},
    {"wyjscie", "Wyjscie"},
    {"connection", "Connection State"},
};

// Buttons that start a new group on the toolbar.
const QSet<QString> groupStarts = {"start", "opcje", "odczyt", "pomoc", "connection"};

// Buttons that show a pressed state.
const QSet<QString> pressableButtons = {"pauza", "rozpocznij", "stabilny"};

// Where each command whose availability follows acquisition is shown.
struct CommandPlaces {
    AcquisitionState::Command command;
    QStringList menuItems;
    QStringList buttons;
};

const CommandPlaces commandPlaces[] = {
    {AcquisitionState::Command::Start, {"mnustart"}, {"start"}},
    {AcquisitionState::Command::Stop, {"mnustop"}, {"stop"}},
    {AcquisitionState::Command::Pause, {"mnupauza"}, {"pauza"}},
    {AcquisitionState::Command::SingleRead, {"mnuodczyt"}, {"odczyt"}},
    {AcquisitionState::Command::Continuous, {"mnuCiagla"}, {"rozpocznij"}},
    {AcquisitionState::Command::Unstable, {"mnuStabilne"}, {"stabilny"}},
    {AcquisitionState::Command::Tare, {"mnutara"}, {"tara"}},
    {AcquisitionState::Command::Series,
     {"mnunowa", "mnuotworz", "mnuzapisz", "mnudrukuj", "mnuRaport", "mnuwykres"},
     {"nowa", "otworz", "zapisz", "drukuj", "raport", "wykres"}},
};

} // namespace

Glowna::Glowna(ProgramContext& context, Mordal::Comm* comm, QWidget* parent)
    : QMainWindow(parent), MSComm1(comm), context(context), protocol(MSComm1, context.settings),
      store(context), seriesCommands(context, store, seriesWindow()) {
    setObjectName(QStringLiteral("Glowna"));
    setWindowTitle(QStringLiteral("Trevalo"));

    Timer2.setInterval(500);
    Timer2.setTimerType(Qt::PreciseTimer);
    connect(&Timer2, &QTimer::timeout, this, &Glowna::Timer2Tick);
    tmrEthernet.setInterval(5000);
    connect(&tmrEthernet, &QTimer::timeout, this, &Glowna::onEthernetTick);

    buildCommands();
    buildCentralArea();
    linkStatus = new QLabel(statusBar());
    linkStatus->setObjectName(QStringLiteral("linkStatus"));
    statusBar()->addWidget(linkStatus, 1);
    resize(1100, 650);
    compactDatabase = [this] {
        return MeasurementStore::KompaktujBaze(
            MeasurementStore::WorkingDatabasePath(this->context.programFolder));
    };

    auto* f8 = new QShortcut(QKeySequence(Qt::Key_F8), this);
    connect(f8, &QShortcut::activated, this, &Glowna::ShowDebugForm);

    protocol.SetDebugSink([this](const QString& text, const QString& label) {
        if (debugForm)
            debugForm->DebugText(text, label);
    });

    if (MSComm1) {
        connect(MSComm1, &Mordal::Comm::OnComm, this, &Glowna::onComm);
        connect(MSComm1, &Mordal::Comm::CommIsOpen, this, &Glowna::onCommIsOpen);
        connect(MSComm1, &Mordal::Comm::ErrorComm, this, &Glowna::onErrorComm);
    }
}

Glowna::~Glowna() {
    delete debugForm;
}

void Glowna::buildCommands() {
    toolbar = addToolBar(QStringLiteral("Toolbar1"));
    toolbar->setObjectName(QStringLiteral("Toolbar1"));
    toolbar->setMovable(false);
    toolbar->setIconSize(QSize(24, 24));
    for (const ToolbarSpec& button : toolbarSpecs)
        addToolbarButton(QString::fromLatin1(button.key), QString::fromUtf8(button.toolTip));

    QMenu* plik = menuBar()->addMenu(QStringLiteral("&Plik"));
    plik->setObjectName(QStringLiteral("mnuplik"));
    addMenuItem(plik, "mnunowa", "&Nowa", "nowa", QKeySequence(QStringLiteral("Ctrl+N")));
    addMenuItem(plik, "mnuotworz", "&Otworz", "otworz", QKeySequence(QStringLiteral("Ctrl+O")));
    addMenuItem(plik, "mnuzapisz", "&Zapisz", "zapisz", QKeySequence(QStringLiteral("Ctrl+S")));
    addMenuItem(plik, "mnudrukuj", "&Drukuj", "drukuj", QKeySequence(QStringLiteral("Ctrl+P")));
    plik->addSeparator()->setObjectName(QStringLiteral("mnuseparator1"));
    addMenuItem(plik, "mnuwyjscie", "&Wyjscie", "wyjscie");

    QMenu* pomiar = menuBar()->addMenu(QStringLiteral("P&omiar"));
    pomiar->setObjectName(QStringLiteral("mnupomiar"));
    addMenuItem(pomiar, "mnustart", "&Start - praca automatyczna", "start");
    addMenuItem(pomiar, "mnustop", "S&top - praca automatyczna", "stop");
    addMenuItem(pomiar, "mnupauza", "&Pauza - praca automatyczna", "pauza");
    pomiar->addSeparator()->setObjectName(QStringLiteral("mnuseparator3"));
    addMenuItem(pomiar, "mnuodczyt", "&Odczytaj", "odczyt");
    addMenuItem(pomiar, "mnutara", "&Wytaruj", "tara");
    addMenuItem(pomiar, "mnuCiagla", "&Transmisja ciagla", "rozpocznij")->setCheckable(true);
    addMenuItem(pomiar, "mnuStabilne", "O&dczyt danych niestabilnych", "stabilny")
        ->setCheckable(true);
    pomiar->addSeparator()->setObjectName(QStringLiteral("mnuseparator2"));
    addMenuItem(pomiar, "mnuRaport", "Pokaz &raport", "raport");
    addMenuItem(pomiar, "mnuwykres", "Pokaz wy&kres", "wykres");

    QMenu* ustawienia = menuBar()->addMenu(QStringLiteral("&Ustawienia"));
    ustawienia->setObjectName(QStringLiteral("mnuustawienia"));
    addMenuItem(ustawienia, "mnuopcje", "&Opcje", "opcje");
    addMenuItem(ustawienia, "mnucykl", "&Cykl", "cykl");
    addMenuItem(ustawienia, "mnuustwykres", "&Wykres", "wykresopcje");
    addMenuItem(ustawienia, "Languuage", "Language", "Languuage");

    // The help menu has no items: choosing it runs the help command.
    QAction* pomoc = menuBar()->addAction(QStringLiteral("Po&moc"));
    pomoc->setObjectName(QStringLiteral("mnupomoc"));
    menuItems.insert(QStringLiteral("mnupomoc"), pomoc);
    connect(pomoc, &QAction::triggered, this, [this] { RunCommand(QStringLiteral("pomoc")); });

    operations.insert(QStringLiteral("wyjscie"), [this] { exitCommand(); });
    operations.insert(QStringLiteral("odczyt"), [this] { OdpytajWage(); });
    operations.insert(QStringLiteral("tara"), [this] { protocol.Tare(); });
    operations.insert(QStringLiteral("opcje"), [this] { showOptions(true); });
    operations.insert(QStringLiteral("pomoc"), [this] { help(); });
    operations.insert(QStringLiteral("connection"), [this] { connectionButton(); });
    operations.insert(QStringLiteral("start"), [this] { StartCommand(); });
    operations.insert(QStringLiteral("stop"), [this] { StopCommand(); });
    operations.insert(QStringLiteral("pauza"), [this] { PauseCommand(); });
    operations.insert(QStringLiteral("rozpocznij"), [this] { ContinuousCommand(); });
    operations.insert(QStringLiteral("stabilny"), [this] { UnstableSwitch(); });
    operations.insert(QStringLiteral("cykl"), [this] { ShowCycleSettings(); });
    operations.insert(QStringLiteral("nowa"), [this] { seriesCommands.NewSeries(); });
    operations.insert(QStringLiteral("otworz"), [this] { seriesCommands.OpenSeries(); });
    operations.insert(QStringLiteral("zapisz"), [this] { seriesCommands.Save(); });
    operations.insert(QStringLiteral("wykres"),
                      [this] { wykres = Wykres::Show(context, store, wykres, this); });
    operations.insert(QStringLiteral("wykresopcje"), [this] {
        Wykresopcje dialog(context, this);
        connect(&dialog, &Wykresopcje::Zapisano, this, [this] {
            if (wykres)
                wykres->Redraw();
        });
        dialog.exec();
    });
    store.chartRefresh = [this] {
        if (wykres)
            wykres->Redraw();
    };
    closeChart = [this] {
        if (wykres)
            wykres->close();
    };
    clearChartReport = [this] {
        if (wykres)
            wykres->lblRaport->clear();
    };
    operations.insert(QStringLiteral("Languuage"), [this] {
        frmLanguage chooser(context, this);
        chooser.exec();
    });
    operations.insert(QStringLiteral("raport"), [this] {
        Raport raport(context, store, this);
        raport.raportDoWykresu = [this] { RaportDoWykresu(); };
        raportWindow = &raport;
        if (runReport)
            runReport(raport);
        else
            raport.exec();
        raportWindow = nullptr;
    });
    operations.insert(QStringLiteral("drukuj"), [this] {
        SeriesReport report(context, store, this);
        report.panel = panel;
        report.Drukuj();
    });
    saveSeries = [this] { return seriesCommands.Save(); };
    store.afterReadingPrompts = [this] { afterReadingPrompts(); };
    store.storeFailed = [this](const QString& reason, int waiting) {
        seriesCommands.TellStoreFailed(reason, waiting);
    };

    showCommandStates();
}

QAction* Glowna::addMenuItem(QMenu* menu, const QString& name, const QString& caption,
                             const QString& toolbarKey, const QKeySequence& shortcut) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    item->setData(toolbarKey);
    if (!shortcut.isEmpty())
        item->setShortcut(shortcut);
    menuItems.insert(name, item);
    connect(item, &QAction::triggered, this, [this, toolbarKey] { RunCommand(toolbarKey); });
    return item;
}

void Glowna::addToolbarButton(const QString& key, const QString& toolTip) {
    if (groupStarts.contains(key))
        toolbar->addSeparator();
    QAction* button = toolbar->addAction(ToolbarIcons::Icon(key), toolTip);
    button->setObjectName(key);
    button->setData(key);
    button->setToolTip(toolTip);
    button->setCheckable(pressableButtons.contains(key));
    toolbarButtons.insert(key, button);
    connect(button, &QAction::triggered, this, [this, key] { RunCommand(key); });
    if (key == QLatin1String("connection"))
        button->setIcon(ToolbarIcons::Icon(QStringLiteral("disconnected")));
}

void Glowna::RunCommand(const QString& key) {
    const auto operation = operations.constFind(key);
    if (operation != operations.cend())
        (*operation)();
}

void Glowna::showCommandStates() {
    for (const CommandPlaces& places : commandPlaces) {
        const auto available = acquisition.Available(places.command);
        for (const QString& name : places.menuItems)
            menuItems.value(name)->setEnabled(available.menu);
        for (const QString& key : places.buttons)
            toolbarButtons.value(key)->setEnabled(available.button);
    }
}

void Glowna::buildCentralArea() {
    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);

    auto* table = new QGroupBox(QStringLiteral("Tabela pomiarow:"), central);
    table->setObjectName(QStringLiteral("FrameTabela"));
    auto* tableLayout = new QVBoxLayout(table);
    gridCaption = new QLabel(table);
    gridCaption->setObjectName(QStringLiteral("DataGrid1Caption"));
    DataGrid1 = new QTableView(table);
    DataGrid1->setObjectName(QStringLiteral("DataGrid1"));
    DataGrid1->setModel(&store.Model());
    DataGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DataGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DataGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DataGrid1->setAlternatingRowColors(true);
    DataGrid1->verticalHeader()->hide();
    // Fixed row heights keep a view of a million rows as quick as of ten.
    DataGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DataGrid1->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    DataGrid1->horizontalHeader()->setStretchLastSection(true);
    for (int column = 0; column < SeriesModel::ColumnCount; ++column)
        DataGrid1->setColumnWidth(column, SeriesModel::DefaultWidth(column));
    // A number column grows to its widest value, so no reading is cut.
    connect(&store.Model(), &SeriesModel::WidestRowChanged, DataGrid1, [this](int column) {
        const int row = store.Model().WidestRow(column);
        if (row < 0)
            return;
        // One pixel more for the grid line.
        const int needed =
            DataGrid1->sizeHintForIndex(store.Model().index(row, column)).width() + 1;
        if (needed > DataGrid1->columnWidth(column))
            DataGrid1->setColumnWidth(column, needed);
    });
    // The newest row becomes current once the rows stop coming for a moment:
    // a batch of thousands is shown at its end, not scrolled to row by row.
    showLastRow.setSingleShot(true);
    showLastRow.setInterval(0);
    connect(&showLastRow, &QTimer::timeout, DataGrid1, [this] {
        DataGrid1->selectRow(store.Model().Count() - 1);
        DataGrid1->scrollToBottom();
    });
    connect(&store.Model(), &QAbstractItemModel::rowsInserted, &showLastRow,
            qOverload<>(&QTimer::start));
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
    for (QString* text :
         {&codeTexts.communicationError, &codeTexts.source, &codeTexts.helpFileMissing,
          &codeTexts.helpFileUnopened, &codeTexts.noInterval, &linkTexts.connected,
          &linkTexts.notConnected, &linkTexts.retrying, &linkTexts.permissionRemedy})
        *text = FormCodeText(context, *this, *text);
    seriesCommands.ApplyLanguageTexts();
}

bool Glowna::Load() {
    ApplyLanguageTexts();
    gridCaption->setText(context.Msg(32));
    DataGrid1->setToolTip(context.Msg(32));
    findHelpFile();
    setWindowTitle(windowTitle() + QStringLiteral(" v.") + QLatin1String(Version));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        // Opening the store compacts the working database first.
        store.OtworzMagazyn();
    } catch (const DatabaseError& error) {
        QApplication::restoreOverrideCursor();
        return showLoadError(error.code, QString::fromLocal8Bit(error.what()));
    }
    QApplication::restoreOverrideCursor();
    store.SetMassFormat(
        INI::CzytajIni(context.IniPath(), "ustawienia", "MasaFormat ", QStringLiteral("#0.0000")));
    if (!configureAndOpenLink())
        return false;
    openCycleGate();
    return true;
}

void Glowna::openCycleGate() {
    // The windows live in the working database, also while a series file is
    // bound in its place.
    cycleDatabase =
        std::make_unique<Database>(MeasurementStore::WorkingDatabasePath(context.programFolder));
    gate = std::make_unique<CycleGate>(*cycleDatabase);
    gate->LoadFirstRange();
    if (!cycleWorkOn)
        cycleWorkOn = [this] {
            return context.userSettings && CycleSettings::CycleWorkOn(*context.userSettings);
        };
    if (!loadFirstRange)
        loadFirstRange = [this] { gate->LoadFirstRange(); };
    if (context.userSettings)
        lTim2 = CycleSettings::StoredTicks(*context.userSettings);
    showCycleImage(cycleWorkOn());
    store.cycleGate = [this](int timer) { return passCycleGate(timer); };
}

bool Glowna::passCycleGate(int timer) {
    if (!AutomaticWorkRunning() || !cycleWorkOn())
        return true;
    switch (gate->Check(timer)) {
    case CycleGate::Result::Accept:
        return true;
    case CycleGate::Result::Reject:
        return false;
    case CycleGate::Result::EndOfCycle:
        EndOfCycle();
        return false;
    }
    return false;
}

void Glowna::showCycleImage(bool on) {
    ToolbarButton(QStringLiteral("cykl"))->setIcon(ToolbarIcons::Image(on ? 13 : 12));
}

void Glowna::ShowCycleSettings() {
    if (!gate)
        return;
    if (!cycleDialog) {
        cycleDialog = new Cykl(context, *gate, this);
        cycleDialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(cycleDialog, &Cykl::Closed, this, [this](int ticks, bool on) {
            lTim2 = ticks;
            showCycleImage(on);
        });
        connect(cycleDialog, &QObject::destroyed, this, [this] { cycleDialog = nullptr; });
    }
    cycleDialog->show();
    cycleDialog->raise();
}

void Glowna::findHelpFile() {
    helpFile = FindHelpFile(context.LanguageFolder(), context.settings.helpFileName);
}

bool Glowna::configureAndOpenLink() {
    LinkSettings link;
    try {
        link = LinkSettings::Read(context.IniPath());
    } catch (const SettingsError& error) {
        return showLoadError(error.errorNumber, error.Where());
    }
    if (!MSComm1)
        return showLoadError(13, QString());
    link.Open(*MSComm1);
    showLinkStatus();
    if (!MSComm1->CommOpen())
        showOptions(true);
    return true;
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
    Opcje options(
        context, MSComm1, &tmrEthernet, [this] { return isVisible(); }, this);
    options.SetCancelAvailable(cancelAvailable);
    if (runOptions)
        runOptions(options);
    else
        options.exec();
    showLinkStatus();
}

void Glowna::OdpytajWage() {
    protocol.OdpytajWage(unstableOn);
}

void Glowna::Czekaj(int ms) {
    Mordal::DelayPumping(ms);
}

QString Glowna::OpisZrodla() const {
    if (!MSComm1)
        return {};
    switch (MSComm1->CommSource()) {
    case Mordal::enCommSource::TCP:
        return QStringLiteral("TCP-") + MSComm1->NetRemoteHost();
    case Mordal::enCommSource::Serial:
        return QStringLiteral("Serial-") + QString::number(MSComm1->SerialPort());
    default:
        return {};
    }
}

void Glowna::onComm(const QByteArray& frame, int, int, bool&) {
    const bool paused = acquisition.CurrentMode() == AcquisitionState::Mode::Paused;
    const auto route =
        protocol.RouteFrame(frame, continuousFlag, paused, buffers, QDateTime::currentDateTime());
    if (route == BalanceProtocol::Route::ToReadingHandler)
        PrzetworzOdczyt(frame);
}

void Glowna::RaportDoWykresu() {
    if (wykres)
        wykres->ShowReport();
}

void Glowna::PrzetworzOdczyt(const QByteArray& frame) {
    // The report window sees every frame while it is open.
    const bool capturing = raportWindow && raportWindow->Capturing();
    if (capturing)
        raportWindow->AppendFrame(frame);
    ReadingHandler::HandlerContext handler;
    handler.reportCapture = capturing;
    handler.locale = store.locale;
    handler.outsideLimits = [this](const QString& value) {
        return store.limits.Outside(value, store.locale);
    };
    handler.logError = [this](const QString& error) { logReadingError(error); };
    const auto reading =
        ReadingHandler::PrzetworzOdczyt(frame, QDateTime::currentDateTime(), handler);
    if (!reading)
        return;
    try {
        store.DodajPomiar(reading->valueText, reading->unit, reading->time);
    } catch (const std::exception& error) {
        logReadingError(QString::fromLocal8Bit(error.what()));
    }
}

void Glowna::logReadingError(const QString& error) {
    ErrorLog::ZapiszLog(context.programFolder, QStringLiteral("Glowna"),
                        QStringLiteral("Timer1_Timer"), error);
}

void Glowna::onCommIsOpen(bool state) {
    linkWatch.Reported(state);
    toolbarButtons.value(QStringLiteral("connection"))
        ->setIcon(ToolbarIcons::Icon(state ? QStringLiteral("connected")
                                           : QStringLiteral("disconnected")));
    // A link that was up is tried again while it is down, a serial port as
    // well as a TCP connection: an unplugged adapter comes back by itself.
    if (state && MSComm1) {
        tmrEthernet.setInterval(linkWatch.RetryIntervalMs());
        tmrEthernet.start();
    }
    acquisition.LinkReported(state);
    showCommandStates();
    showLinkStatus();
    // The lines collected so far are stored; the device cannot be told to
    // stop, and sending to a closed link does nothing.
    if (!state && ciaglaTicked && !closing)
        continuousOff();
}

void Glowna::onErrorComm(int number, const QString& description, Mordal::enCommSource) {
    showLinkStatus();
    // One message per outage: the attempts to reopen fail again and again,
    // and a box for each would leave the operator no way to anything else.
    if (!linkWatch.FirstFailureOfOutage())
        return;
    context.dialogs->MessageBox(this,
                                codeTexts.source + u' ' + OpisZrodla() + QStringLiteral("\r\n") +
                                    linkWatch.FailureText(number, description, linkTexts),
                                MsgButtons::Ok, MsgIcon::Critical, codeTexts.communicationError);
}

void Glowna::onEthernetTick() {
    if (MSComm1 && !MSComm1->CommOpen())
        MSComm1->SetCommOpen(true);
    showLinkStatus();
}

void Glowna::showLinkStatus() {
    linkStatus->setText(linkWatch.StatusText(tmrEthernet.isActive(), linkTexts));
}

void Glowna::connectionButton() {
    if (!MSComm1)
        return;
    MSComm1->SetCommOpen(!MSComm1->CommOpen());
    if (MSComm1 && !MSComm1->CommOpen())
        tmrEthernet.stop();
    showLinkStatus();
}

void Glowna::ShowDebugForm() {
    if (!debugForm) {
        debugForm = new DebugForm();
        connect(debugForm, &DebugForm::Opened, this, [this] { protocol.debugShow = true; });
        connect(debugForm, &DebugForm::Closed, this, [this] { protocol.debugShow = false; });
    }
    debugForm->show();
    debugForm->raise();
}

void Glowna::help() {
    const bool exists = QFile::exists(helpFile);
    if (exists && context.dialogs->OpenWithDesktop(helpFile))
        return;
    // Without a viewer on the desktop the guide still shows, in a window of
    // the program's own.
    if (exists && HelpWindow::CanShow(helpFile)) {
        if (!helpWindow)
            helpWindow = new HelpWindow(helpFile, this);
        helpWindow->show();
        helpWindow->raise();
        return;
    }
    const QString& problem = exists ? codeTexts.helpFileUnopened : codeTexts.helpFileMissing;
    context.dialogs->MessageBox(this, problem + QStringLiteral("\r\n") + helpFile, MsgButtons::Ok,
                                MsgIcon::Information, context.Msg(47));
}

void Glowna::exitCommand() {
    if (acquisition.CurrentMode() == AcquisitionState::Mode::Automatic)
        StopCommand();
    if (!ciaglaTicked)
        close();
    else
        ContinuousCommand();
}

void Glowna::UnstableSwitch() {
    unstableOn = !unstableOn;
    QAction* button = ToolbarButton(QStringLiteral("stabilny"));
    MenuItem(QStringLiteral("mnuStabilne"))->setChecked(unstableOn);
    button->setChecked(unstableOn);
    button->setToolTip(SwitchingToolTips::Text(context, unstableOn ? QStringLiteral("TB_23x")
                                                                   : QStringLiteral("TB_23")));
    button->setIcon(ToolbarIcons::Image(unstableOn ? 20 : 22));
}

SeriesCommands::Window Glowna::seriesWindow() {
    SeriesCommands::Window window;
    window.widget = this;
    window.bolOldFile = &bolOldFile;
    // The hooks are read when a command runs, as tests may replace them.
    window.saveSeries = [this] { return saveSeries && saveSeries(); };
    window.clearChartReport = [this] {
        if (clearChartReport)
            clearChartReport();
    };
    window.seriesOpened = [this] {
        if (wykres)
            wykres->Redraw();
        RaportDoWykresu();
    };
    window.logError = [this](const QString& error) { logReadingError(error); };
    return window;
}

void Glowna::afterReadingPrompts() {
    // Never during automatic work: nobody is there to answer.
    if (AutomaticWorkRunning())
        return;
    const Settings& settings = context.settings;
    if (settings.pomiarShowNote || settings.pomiarShowSave)
        seriesCommands.EditDescription(store.RowCount() - 1);
    if (settings.pomiarShowSave)
        context.dialogs->MessageBox(this, context.Msg(49), MsgButtons::Ok, MsgIcon::None,
                                    QString());
}

void Glowna::StartCommand() {
    if (!seriesCommands.ConfirmDiscardWaiting())
        return;
    if (!seriesCommands.AskToSaveExisting())
        return;
    store.NowaSeria();
    if (closeChart)
        closeChart();
    acquisition.SetMode(AcquisitionState::Mode::Automatic);
    showCommandStates();
    Timer2.start();
    lTim2L = 0;
    Timer2Tick();
}

void Glowna::Timer2Tick() {
    // Without an interval there is one request and no automatic work: the
    // user is told where the interval is set rather than left with a
    // "running" state that never asks again.
    if (lTim2 <= 0) {
        firstTimer2Tick = false;
        protocol.OdpytajWage(true);
        StopCommand();
        context.dialogs->MessageBox(this, codeTexts.noInterval, MsgButtons::Ok,
                                    MsgIcon::Information, context.Msg(47));
        return;
    }
    // The first tick of the program's run asks at once; later ones count.
    if (firstTimer2Tick) {
        firstTimer2Tick = false;
        protocol.OdpytajWage(true);
        return;
    }
    if (lTim2L == 0)
        lTim2L = 1;
    // At or past: an interval shortened while the count runs takes effect
    // at once instead of never.
    if (lTim2L >= lTim2) {
        protocol.OdpytajWage(true);
        lTim2L = 1;
    } else {
        ++lTim2L;
    }
}

void Glowna::StopCommand() {
    Timer2.stop();
    acquisition.SetMode(AcquisitionState::Mode::Idle);
    if (cycleWorkOn && cycleWorkOn()) {
        store.seriesStart.reset();
        acquisition.HoldSingleRead();
    }
    showCommandStates();
    if (loadFirstRange)
        loadFirstRange();
}

void Glowna::PauseCommand() {
    const bool running = acquisition.CurrentMode() == AcquisitionState::Mode::Automatic;
    acquisition.SetMode(running ? AcquisitionState::Mode::Paused
                                : AcquisitionState::Mode::Automatic);
    if (running)
        Timer2.stop();
    else
        Timer2.start();
    ToolbarButton(QStringLiteral("pauza"))->setChecked(running);
    showCommandStates();
}

void Glowna::EndOfCycle() {
    Timer2.stop();
    StopCommand();
    context.dialogs->MessageBox(this, context.Msg(25), MsgButtons::Ok, MsgIcon::Information,
                                QString());
}

void Glowna::ContinuousCommand() {
    if (ciaglaTicked)
        continuousOff();
    else
        continuousOn();
}

void Glowna::BlokujMenuCiaglej() {
    acquisition.SetMode(AcquisitionState::Mode::Continuous);
    showCommandStates();
}

void Glowna::OdblokujMenuCiaglej() {
    acquisition.SetMode(AcquisitionState::Mode::Idle);
    showCommandStates();
}

void Glowna::continuousOn() {
    BlokujMenuCiaglej();
    ciaglaTicked = true;
    QAction* button = ToolbarButton(QStringLiteral("rozpocznij"));
    MenuItem(QStringLiteral("mnuCiagla"))->setChecked(true);
    button->setChecked(true);
    button->setToolTip(SwitchingToolTips::Text(context, QStringLiteral("TB_22x")));
    button->setIcon(ToolbarIcons::Image(23));
    lastStable = unstableOn;
    if (!unstableOn)
        UnstableSwitch();
    film = std::make_unique<Film>(context, this);
    connect(film.get(), &Film::EscapePressed, this, [this] {
        if (ciaglaTicked)
            continuousOff();
    });
    film->show();
    continuousFlag = true;
    if (!store.seriesStart)
        store.seriesStart = QDateTime::currentDateTime();
    protocol.ContinuousOn();
}

void Glowna::continuousOff() {
    protocol.ContinuousOff();
    if (film) {
        film->CloseByOwner();
        film.reset();
    }
    OdblokujMenuCiaglej();
    QAction* button = ToolbarButton(QStringLiteral("rozpocznij"));
    button->setChecked(false);
    button->setToolTip(SwitchingToolTips::Text(context, QStringLiteral("TB_22")));
    button->setIcon(ToolbarIcons::Image(21));
    if (unstableOn != lastStable)
        UnstableSwitch();
    update();
    if (!buffers.IsEmpty()) {
        // Frames still on their way are collected while waiting.
        Czekaj(200);
        WindowedProgress progress(this, &context);
        store.DodajPomiary(buffers, &progress);
    }
    continuousFlag = false;
    ciaglaTicked = false;
    MenuItem(QStringLiteral("mnuCiagla"))->setChecked(false);
}

void Glowna::closeEvent(QCloseEvent* event) {
    // While loading (not yet shown) the window closes at once, without
    // questions or clean-up.
    if (closing || !isVisible()) {
        event->accept();
        return;
    }
    if (!confirmClose()) {
        event->ignore();
        return;
    }
    closing = true;
    finishClose();
    event->accept();
}

bool Glowna::confirmClose() {
    if (!seriesCommands.ConfirmDiscardWaiting())
        return false;
    UserDialogs& dialogs = *context.dialogs;
    if (bolOldFile && dialogs.MessageBox(this, context.Msg(28), MsgButtons::YesNo,
                                         MsgIcon::Information, QString()) != MsgAnswer::Yes)
        return false;
    const bool hasRows = store.RowCount() != 0;
    const MsgAnswer answer = hasRows
                                 ? dialogs.MessageBox(this, context.Msg(4), MsgButtons::YesNoCancel,
                                                      MsgIcon::Exclamation, context.Msg(45))
                                 : dialogs.MessageBox(this, context.Msg(5), MsgButtons::YesNo,
                                                      MsgIcon::Exclamation, context.Msg(45));
    switch (answer) {
    case MsgAnswer::Yes:
        // Readings the user asked to keep are never dropped unsaved.
        return !hasRows || (saveSeries && saveSeries());
    case MsgAnswer::No:
        return hasRows;
    default:
        return false;
    }
}

void Glowna::closeOtherWindows() {
    // Each through its own close path, so that what a window keeps on
    // closing (the cycle settings, the chart's place) is kept.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this && window->isVisible())
            window->close();
    }
}

void Glowna::finishClose() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    compactionAttempts->Reset();
    try {
        store.ClearSeriesTables();
    } catch (const DatabaseError& error) {
        logReadingError(QString::fromLocal8Bit(error.what()));
    }
    tmrEthernet.stop();
    Timer2.stop();
    if (film) {
        film->CloseByOwner();
        film.reset();
    }
    if (MSComm1) {
        MSComm1->SetCommOpen(false);
        disconnect(MSComm1, nullptr, this, nullptr);
        MSComm1 = nullptr;
    }
    closeOtherWindows();
    QApplication::restoreOverrideCursor();
    emit Closed();
}

} // namespace Pomiar
