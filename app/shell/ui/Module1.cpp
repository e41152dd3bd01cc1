#include "Module1.h"

#include "CheckTexts.h"
#include "CycleGate.h"
#include "Cykl.h"
#include "Database.h"
#include "Film.h"
#include "Glowna.h"
#include "INI.h"
#include "LanguageTexts.h"
#include "Nowy.h"
#include "Opcje.h"
#include "Pasek.h"
#include "PerUserSettings.h"
#include "ProgramContext.h"
#include "ProgramFolder.h"
#include "QtUserDialogs.h"
#include "Raport.h"
#include "SeriesReport.h"
#include "Startowa.h"
#include "SwitchingToolTips.h"
#include "ToolbarIcons.h"
#include "Wykres.h"
#include "Wykresopcje.h"
#include "Zakonczenie.h"
#include "frmCommSelect.h"
#include "frmObjetoscNurnika.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <QTranslator>
#include <cstdio>
#include <cstring>

namespace Pomiar::Module1 {

void LoadTemplateWindows(ProgramContext& context, const WindowVisitor& visit) {
    const auto loaded = [&visit](QWidget& window) {
        if (visit)
            visit(window);
    };
    {
        // Loading the main window would open the link and could ask for the
        // options; this run only collects its texts.
        Glowna window(context);
        window.ApplyLanguageTexts();
        // Looked up only when a button switches.
        for (const SwitchingToolTips::ToolTip& toolTip : SwitchingToolTips::toolTips)
            SwitchingToolTips::Text(context, QLatin1String(toolTip.key));
        loaded(window);
    }
    CheckTexts::LookUpAll(context);
    // The windows that show the series or the cycle windows get an empty
    // database of their own, so that the working database stays as it is.
    QTemporaryDir scratch;
    const QString scratchPath = scratch.filePath(QStringLiteral("szablon.mdb"));
    Database scratchDatabase(scratchPath);
    scratchDatabase.CreateSchema();
    // The captions of an export are looked up only when a series is exported.
    for (const QString& column : scratchDatabase.ColumnsOf(QStringLiteral("SELECT * FROM pomiary")))
        ExportCaption(context, column);
    MeasurementStore store(context);
    store.OtworzBaze(scratchPath);
    CycleGate gate(scratchDatabase);
    Cykl cycle(context, gate);
    loaded(cycle);
    Film film(context);
    loaded(film);
    frmObjetoscNurnika density(context);
    loaded(density);
    // Opened for editing, it looks up its editing caption besides the rest.
    Nowy editor(context, gate, false);
    loaded(editor);
    Opcje options(context, nullptr);
    loaded(options);
    Pasek progress(nullptr, &context);
    loaded(progress);
    Raport report(context, store);
    loaded(report);
    Startowa start(context);
    loaded(start);
    Wykres chart(context, store);
    loaded(chart);
    Wykresopcje chartOptions(context);
    loaded(chartOptions);
    Zakonczenie closing({}, nullptr, nullptr, &context);
    loaded(closing);
    // Not in the designed list, yet translated like the others.
    frmCommSelect commSelect(nullptr, &context);
    loaded(commSelect);
}

namespace {

// Qt's own texts (the Yes and No of a question, the file dialogs) in the
// language of the chosen language file, where Qt ships them.
void installQtTexts(QApplication& app, QTranslator& translator, const QString& languageFileName) {
    static const std::pair<const char*, const char*> languages[] = {{"Polish", "pl"}};
    for (const auto& [name, code] : languages) {
        if (!languageFileName.startsWith(QLatin1String(name), Qt::CaseInsensitive))
            continue;
        if (translator.load(QStringLiteral("qtbase_") + QLatin1String(code),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            app.installTranslator(&translator);
    }
}

const char* const usage = R"(Usage: Pomiar [--dir DIR]

Collects weighing results from a laboratory balance (RS-232 or TCP) and
keeps them as a measurement series.

Options:
  --dir DIR   use DIR as the program folder (settings, working database,
              language files); default $POMIAR_DIR, else the executable's
              folder when it holds ustawienia.ini, else
              ~/.local/share/Trevalo
  --help      show this text
  --version   show the version

See Pomiar(1) and balance-sim(1).
)";

} // namespace

std::optional<int> AnswerOnTerminal(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Pomiar (Trevalo) %s\n", TREVALO_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}

int Main(QApplication& app, const QStringList& arguments) {
    QCoreApplication::setApplicationVersion(QStringLiteral(TREVALO_VERSION));
    // The desktop matches the windows to the menu entry by this name, and
    // shows its icon for them.
    QGuiApplication::setDesktopFileName(QStringLiteral(TREVALO_APP_ID));
    app.setWindowIcon(ToolbarIcons::ApplicationIcon());
    const QString executableFolder = QCoreApplication::applicationDirPath();
    ProgramContext context;
    QtUserDialogs dialogs;
    context.dialogs = &dialogs;
    context.programFolder = ProgramFolder::Resolve(arguments, executableFolder);
    QString error;
    if (!ProgramFolder::Prepare(context.programFolder,
                                ProgramFolder::ShippedLanguageFolder(executableFolder), &error)) {
        std::fprintf(stderr, "Trevalo: %s\n", qPrintable(error));
        return 1;
    }
    if (!ReadSettings(context))
        return 1;
    QCoreApplication::setApplicationName(context.applicationTitle);
    context.userSettings = std::make_shared<PerUserSettings>(context.applicationTitle);

    const QString languageFile = context.LanguageFilePath();
    CheckLanguageFile(context);
    if (GetLangText(languageFile, QString(), "ok", "n") == "y") {
        RunTemplateMode(context, {[&context] { SeriesReport::TranslatedTexts(context); },
                                  [&context] { LoadTemplateWindows(context); }});
        return 0;
    }
    LoadMessages(languageFile, context.messages);
    QTranslator qtTexts;
    installQtTexts(app, qtTexts, context.settings.languageFileName);

    app.setQuitOnLastWindowClosed(false);
    Startowa start(context);
    Glowna* mainWindow = start.Load();
    if (!mainWindow)
        return 0;

    std::unique_ptr<Zakonczenie> closing;
    QObject::connect(mainWindow, &Glowna::Closed, [&] {
        closing =
            std::make_unique<Zakonczenie>([mainWindow] { return mainWindow->CompactDatabase(); },
                                          mainWindow->CompactionAttempts(), nullptr, &context);
        QObject::connect(closing.get(), &Zakonczenie::finished, &app, &QCoreApplication::quit);
        closing->show();
    });
    return app.exec();
}

} // namespace Pomiar::Module1
