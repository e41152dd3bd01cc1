#include "CodePage1250.h"
#include "Database.h"
#include "EventWait.h"
#include "INI.h"
#include "MeasurementStore.h"
#include "Mordal.h"
#include "ProgramContext.h"
#include "Raport.h"
#include "ReportText.h"
#include "ScratchMount.h"
#include "ScriptedDialogs.h"
#include "SeriesJournal.h"
#include "SeriesReport.h"
#include "SimulatorProcess.h"
#include "StoreReadings.h"
#include "TestFiles.h"
#include "WindowedProgress.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

const QDateTime now{QDate(2026, 12, 7), QTime(10, 15, 30)};

class ReportTest : public ::testing::Test {
protected:
    ReportTest() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        store.SetLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        store.OtworzMagazyn();
    }

    // Readings 1 to n with masses 10.001, 10.002, ... one second apart.
    void AddReadings(int n) {
        for (int i = 1; i <= n; ++i)
            AppendReading(store, QString::number(10 + i / 1000.0, 'f', 4), "g", now.addSecs(i));
    }

    // Lp1 and Lp2 of every line of temp, 0 for an empty right half.
    std::vector<std::pair<int, int>> Lines() {
        std::vector<std::pair<int, int>> lines;
        for (const auto& row :
             store.Bound()
                 .Query("select Lp1, Lp2 from " + ReportText::TempTable + " order by rowid")
                 .rows)
            lines.emplace_back(row[0].toInt(), row[1].isNull() ? 0 : row[1].toInt());
        return lines;
    }

    int StoredReports() { return store.Bound().Scalar("select count(*) from raport").toInt(); }
    QString File(const QString& name) const { return folder.filePath(name); }

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
    MeasurementStore store{context};
};

// Stops like a user pressing Escape in the progress window once the given
// step is reached.
class EscapeAt : public Progress {
public:
    explicit EscapeAt(int step) : step(step) {}
    void Begin(const QString& caption, int maximum) override { shown.Begin(caption, maximum); }
    bool Step(int value) override {
        if (value == step)
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->objectName() == "Pasek" && window->isVisible()) {
                    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier,
                                     QString(QChar(27)));
                    QApplication::sendEvent(window, &escape);
                }
        return shown.Step(value);
    }
    void End() override { shown.End(); }

private:
    int step;
    WindowedProgress shown;
};

// A series file of n readings with masses 10.001, 10.002, ...
void WriteSeriesFile(const QString& path, int n) {
    Database database(path, Database::Journal::Rollback);
    database.CreateSchema();
    for (int i = 1; i <= n; ++i)
        database.Execute(
            "INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst) "
            "VALUES (?, ?, ?, ?, ?, 'g', ?)",
            {i, now.date(), now.addSecs(i), i - 1, 10 + i / 1000.0, QString::number(i)});
}

QString RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

int PdfPages(const QString& path) {
    const auto match = QRegularExpression("Pages:\\s+(\\d+)").match(RunTool("pdfinfo", {path}));
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

QString PdfText(const QString& path, int page = 0) {
    QStringList arguments{"-layout"};
    if (page > 0)
        arguments << "-f" << QString::number(page) << "-l" << QString::number(page);
    // The font shapes "ff" and "fi" into ligatures (a head hash may hold "ff");
    // compatibility normalisation gives the letters back.
    return RunTool("pdftotext", arguments << path << "-").normalized(QString::NormalizationForm_KC);
}

} // namespace

TEST(ReportTextTest, InstrumentCodesBecomeDateTimeAndDegreeSign) {
    using ReportText::Rewrite;
    EXPECT_EQ(Rewrite("Data: D\r\n", now), "Data: 07-12-2026\r\n");
    EXPECT_EQ(Rewrite("Godzina:\x1b"
                      "C\r\n",
                      now),
              "Godzina: 10:15:30\r\n");
    EXPECT_EQ(Rewrite("22.5 \xf8"
                      "C\r\n",
                      now),
              "22.5 \xb0"
              "C\r\n");
    EXPECT_EQ(Rewrite("\x1b!\x1bWynik: OK\x1b\r\n", now), "!Wynik: OK\r\n");
    // Only a "D" that ends a line is the date; ESC "C" inside a line is only
    // a printer code.
    EXPECT_EQ(Rewrite("DANE D \r\nD\n", now), "DANE D \r\nD\n");
    EXPECT_EQ(Rewrite("a\x1b"
                      "Cb\r\n",
                      now),
              "aCb\r\n");
    EXPECT_EQ(ReportText::FrameText("22.5 \xf8"
                                    "C\r\n",
                                    now),
              QString::fromUtf8("22.5 °C\r\n"));
}

TEST_F(ReportTest, FiveReadingsMakeThreeLinesWithTheLastRightHalfEmpty) {
    AddReadings(5);
    ASSERT_TRUE(ReportText::FillTemp(store.Bound(), nullptr));
    const std::vector<std::pair<int, int>> expected{{1, 4}, {2, 5}, {3, 0}};
    EXPECT_EQ(Lines(), expected);
    const auto last = store.Bound().Query("select data2, Masa2, Godzina1, Masa1 from " +
                                          ReportText::TempTable + " where Lp1 = 3");
    ASSERT_EQ(last.rows.size(), 1u);
    EXPECT_TRUE(last.rows[0][0].isNull());
    EXPECT_TRUE(last.rows[0][1].isNull());
    EXPECT_EQ(Database::ParseDateTime(last.rows[0][2]), now.addSecs(3));
    EXPECT_DOUBLE_EQ(last.rows[0][3].toDouble(), 10.003);
}

TEST_F(ReportTest, SeriesReportPrintsFromASeriesFileThatCannotBeWritten) {
    const QString source = File("media");
    QDir().mkpath(source);
    WriteSeriesFile(source + "/seria.ser", 5);
    const auto readOnly = ScratchMount::ReadOnlyFolder(source);
    if (!readOnly)
        GTEST_SKIP() << "no read-only folder can be made here";
    const QString path = readOnly->Path() + "/seria.ser";
    ASSERT_FALSE(QFile(path).open(QIODevice::ReadWrite));
    store.OtworzBaze(path);
    ASSERT_EQ(store.RowCount(), 5);

    SeriesReport report(context, store);
    dialogs.FileNext(File("seria.pdf"));
    dialogs.WhileOpen<QPrintPreviewDialog>(
        [](QPrintPreviewDialog& preview) { preview.findChild<QAction*>("cmdPdf")->trigger(); });
    ASSERT_TRUE(report.Drukuj());
    EXPECT_TRUE(dialogs.Messages().isEmpty()) << dialogs.Messages().join('\n').toStdString();
    const QString text = PdfText(File("seria.pdf"));
    EXPECT_TRUE(
        text.contains(QRegularExpression("\\b3\\s+2026-12-07\\s+10:15:33\\s+2\\s+10.0030\\b")))
        << text.toStdString();
}

TEST_F(ReportTest, PrintingWritesNothingIntoTheSeries) {
    AddReadings(3);
    SeriesReport report(context, store);
    ASSERT_TRUE(report.Drukuj());
    EXPECT_EQ(Lines().size(), 2u);
    EXPECT_EQ(store.Bound().Scalar("select count(*) from main.temp").toInt(), 0);
}

TEST_F(ReportTest, EvenSeriesFillsBothHalvesAndAPreviousReportIsReplaced) {
    AddReadings(1200); // more than one slice on each side
    ASSERT_TRUE(ReportText::FillTemp(store.Bound(), nullptr));
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 600u);
    for (int k = 1; k <= 600; ++k)
        ASSERT_EQ(lines[size_t(k - 1)], std::make_pair(k, k + 600));

    store.NowaSeria();
    AddReadings(4);
    ASSERT_TRUE(ReportText::FillTemp(store.Bound(), nullptr));
    const std::vector<std::pair<int, int>> expected{{1, 3}, {2, 4}};
    EXPECT_EQ(Lines(), expected);

    store.NowaSeria();
    ASSERT_TRUE(ReportText::FillTemp(store.Bound(), nullptr));
    EXPECT_TRUE(Lines().empty());
}

TEST_F(ReportTest, StoringNeedsReadingsAndReplacesTheStoredReport) {
    Raport window(context, store);
    window.AppendFrame("Kalibracja: D\r\n");
    window.Command1Click();
    ASSERT_EQ(dialogs.Messages(), QStringList{context.Msg(30)});
    EXPECT_EQ(context.Msg(30), "Raport z kalibracji mozna zapisac po serii pomiarow!");
    EXPECT_EQ(dialogs.Calls()[0].title, context.Msg(45));
    EXPECT_EQ(StoredReports(), 0);
    EXPECT_TRUE(window.Command1->isEnabled());

    AddReadings(1);
    int handedToChart = 0;
    window.raportDoWykresu = [&] { ++handedToChart; };
    window.Command1Click();
    EXPECT_EQ(StoredReports(), 1);
    EXPECT_EQ(ReportText::Stored(store.Bound()),
              "Kalibracja: " + QDate::currentDate().toString("dd-MM-yyyy") + "\r\n");
    EXPECT_FALSE(window.Command1->isEnabled());
    EXPECT_EQ(handedToChart, 1);

    window.AppendFrame("Wynik: OK\r\n");
    EXPECT_TRUE(window.Command1->isEnabled()) << "the new lines are not stored yet";
    window.Command1Click();
    EXPECT_EQ(StoredReports(), 1);
    EXPECT_TRUE(ReportText::Stored(store.Bound())->endsWith("Wynik: OK\r\n"));
}

TEST_F(ReportTest, WindowShowsTheStoredReportAndCapturesOnlyWhileOpen) {
    AddReadings(1);
    ASSERT_EQ(ReportText::Save(store.Bound(), "Zapisany\r\n"), ReportText::SaveResult::Saved);
    Raport window(context, store);
    EXPECT_TRUE(window.Capturing());
    EXPECT_EQ(window.lblRaport->text(), "Zapisany\n");
    EXPECT_FALSE(window.Command1->isEnabled()) << "a stored report is not stored again";
    window.AppendFrame("Temp: 20 \xf8"
                       "C\r\n");
    EXPECT_EQ(window.Text(), QString::fromUtf8("Zapisany\r\nTemp: 20 °C\r\n"));
    window.Command2->click();
    EXPECT_FALSE(window.Capturing());
    window.AppendFrame("po zamknieciu\r\n");
    EXPECT_EQ(window.Text(), QString::fromUtf8("Zapisany\r\nTemp: 20 °C\r\n"));
}

TEST_F(ReportTest, LongReportScrollsInsideItsBox) {
    Raport window(context, store);
    window.show();
    for (int i = 0; i < 200; ++i)
        window.AppendFrame("linia " + QByteArray::number(i) + "\r\n");
    ASSERT_GT(window.VScroll1->maximum(), 0);
    EXPECT_EQ(window.VScroll1->maximum(), window.lblRaport->height() - window.Picture1->height());
    window.VScroll1->setValue(window.VScroll1->maximum());
    EXPECT_EQ(window.lblRaport->y(), -window.VScroll1->maximum());
}

TEST_F(ReportTest, SavingOverALongerFileLeavesOnlyTheReport) {
    const QString path = File("raport.txt");
    TestFiles::WriteFile(path, QByteArray(5000, 'x'));
    Raport window(context, store);
    window.AppendFrame("Temperatura: 22.5 \xf8"
                       "C\r\n");
    window.AppendFrame("Wynik: OK\r\n");
    dialogs.FileNext(path);
    window.cmdSaveAsClick();
    EXPECT_EQ(TestFiles::ReadFile(path), QByteArray("Temperatura: 22.5 \xb0"
                                                    "C\r\nWynik: OK\r\n"));
    const auto opened = dialogs.CallsOf(ScriptedDialogs::Kind::OpenWithDesktop);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].text, path);
    const auto asked = dialogs.CallsOf(ScriptedDialogs::Kind::SaveFileName);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].folder, context.programFolder);
    EXPECT_EQ(asked[0].filter, "Text file (*.txt)");

    dialogs.Clear();
    window.cmdSaveAsClick(); // cancelled
    EXPECT_TRUE(dialogs.CallsOf(ScriptedDialogs::Kind::OpenWithDesktop).empty());
}

TEST_F(ReportTest, AFailedSaveLeavesTheOldTextFileAndSaysWhy) {
    const auto disk = ScratchMount::Tmpfs(File("disk"), 64 * 1024);
    if (!disk)
        GTEST_SKIP() << "a small tmpfs cannot be mounted here";
    const QString path = disk->Path() + "/raport.txt";
    ASSERT_TRUE(ReportText::SaveFile(path, "Stary raport\r\n"));
    ScratchMount::Fill(disk->Path());
    QString error;
    EXPECT_FALSE(ReportText::SaveFile(path, QString(16000, 'x'), &error));
    EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << error.toStdString();
    EXPECT_EQ(TestFiles::ReadFile(path), "Stary raport\r\n");
}

TEST_F(ReportTest, WithoutAPrinterTheReportCanBeKeptAsPdf) {
    if (!QPrinterInfo::availablePrinters().isEmpty())
        GTEST_SKIP() << "a printer is installed here";
    Raport window(context, store);
    window.AppendFrame("RAPORT KALIBRACJI\r\n");
    dialogs.AnswerNext(MsgAnswer::Ok);
    dialogs.FileNext(File("kalibracja"));
    window.Command3Click();
    ASSERT_FALSE(dialogs.Messages().isEmpty());
    EXPECT_EQ(dialogs.Messages()[0], "Nie wykryto zainstalowanej drukarki!");
    EXPECT_EQ(dialogs.Calls()[0].title, context.Msg(46));
    EXPECT_TRUE(PdfText(File("kalibracja.pdf")).contains("RAPORT KALIBRACJI"));
}

// The printed instrument report: every line in Courier from one inch in
// from the left and the top, onto further pages before the bottom inch.
TEST(ReportPrintTest, LinesStartOneInchInAndFlowOntoFurtherPages) {
    QTemporaryDir folder;
    const QString path = folder.filePath("druk.pdf");
    QString text;
    for (int i = 0; i < 120; ++i)
        text += QString("linia%1\r\n").arg(i, 3, 10, QChar('0'));
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        printer.setPageSize(QPageSize(QPageSize::A4));
        Raport::PrintText(printer, text);
    }
    const QString boxes = RunTool("pdftotext", {"-bbox", path, "-"});
    const QRegularExpression word("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"[\\d.]+\" "
                                  "yMax=\"([\\d.]+)\">(linia\\d+)</word>");
    const QRegularExpression page("<page width=\"[\\d.]+\" height=\"([\\d.]+)\">");
    const double height = page.match(boxes).captured(1).toDouble();
    ASSERT_GT(height, 800);
    QStringList seen;
    QList<int> linesOnPage;
    for (const QString& pageText : boxes.split("<page ", Qt::SkipEmptyParts).mid(1)) {
        double firstTop = -1;
        double previousTop = -1;
        double lineStep = 0;
        double lastBottom = 0;
        linesOnPage << 0;
        for (auto match = word.globalMatch(pageText); match.hasNext();) {
            const auto found = match.next();
            seen << found.captured(4);
            ++linesOnPage.back();
            EXPECT_NEAR(found.captured(1).toDouble(), 72, 1) << found.captured(4).toStdString();
            lastBottom = found.captured(3).toDouble();
            EXPECT_LE(lastBottom, height - 72 + 12) << found.captured(4).toStdString();
            const double top = found.captured(2).toDouble();
            if (firstTop < 0)
                firstTop = top;
            if (previousTop >= 0)
                lineStep = top - previousTop;
            previousTop = top;
        }
        EXPECT_GE(firstTop, 72);
        EXPECT_LT(firstTop, 80);
        // A page ends only where the next line would reach into the bottom inch.
        if (seen.size() < 120) {
            EXPECT_GT(lastBottom + lineStep, height - 72) << "page " << linesOnPage.size();
        }
    }
    // The page count follows the font's line height; 120 lines never fit one page.
    ASSERT_GE(linesOnPage.size(), 2);
    EXPECT_EQ(linesOnPage.size(), (120 + linesOnPage.front() - 1) / linesOnPage.front());
    ASSERT_EQ(seen.size(), 120);
    EXPECT_EQ(seen.front(), "linia000");
    EXPECT_EQ(seen.back(), "linia119");
}

TEST_F(ReportTest, EscapeWhileTheSeriesReportIsPreparedShowsNoReport) {
    AddReadings(2000);
    EscapeAt escape(300);
    SeriesReport report(context, store, nullptr, nullptr, &escape);
    bool shown = false;
    dialogs.WhileOpen<QPrintPreviewDialog>([&](QPrintPreviewDialog&) { shown = true; });
    EXPECT_FALSE(report.Drukuj());
    EXPECT_FALSE(shown);
    const int built = store.Bound().Scalar("select count(*) from " + ReportText::TempTable).toInt();
    EXPECT_GE(built, 300);
    EXPECT_LT(built, 1000);
    EXPECT_TRUE(dialogs.Messages().isEmpty());
}

TEST_F(ReportTest, SeriesReportOfManyReadingsPrintsToPdfWithNumberedPages) {
    store.SetLiveStatistics(false);
    // Two columns of 120 lines: more than one page holds whichever sans-serif
    // font stands in for the report's Arial.
    constexpr int lineCount = 120;
    AddReadings(2 * lineCount);
    SeriesReport report(context, store);
    const QString path = File("seria.pdf");
    dialogs.FileNext(path);
    QString title;
    dialogs.WhileOpen<QPrintPreviewDialog>([&](QPrintPreviewDialog& preview) {
        title = preview.windowTitle();
        QAction* pdf = preview.findChild<QAction*>("cmdPdf");
        ASSERT_NE(pdf, nullptr);
        pdf->trigger();
    });
    ASSERT_TRUE(report.Drukuj());
    EXPECT_TRUE(store.LiveStatistics()) << "the report ticks the live statistics";
    EXPECT_EQ(store.Statistics().lblLiczba, QString::number(2 * lineCount));
    EXPECT_EQ(title, "Raport z wazen");

    const int pages = PdfPages(path);
    ASSERT_GE(pages, 2);
    QStringList lines;
    for (int page = 1; page <= pages; ++page) {
        const QString text = PdfText(path, page);
        // The blanks of the footer are narrow enough for pdftotext to drop.
        const QRegularExpression footer(QString("\\b%1 ?z ?%2\\s*$").arg(page).arg(pages));
        EXPECT_TRUE(text.trimmed().contains(footer)) << text.toStdString();
        // The series' identity may stand alone on the last page.
        if (text.contains("2026-12-07")) {
            EXPECT_TRUE(text.contains("Godzina")) << "every page of readings has the captions";
        }
        lines += text.split('\n');
    }
    const QString first = PdfText(path, 1);
    EXPECT_TRUE(first.contains("Raport z wazen"));
    EXPECT_TRUE(first.contains("Suma wazen:"));
    EXPECT_TRUE(first.contains(store.Statistics().lblSuma));
    EXPECT_FALSE(PdfText(path, 2).contains("Statystyka wazen"));
    // Each reading once, k beside k + lineCount, with its date, time and mass.
    for (int k = 1; k <= lineCount; ++k) {
        const auto time = [](int k) { return now.addSecs(k).toString("HH:mm:ss"); };
        const QString mass = QString::number(10 + k / 1000.0, 'f', 4);
        // Timer counts from the first reading of the series.
        const QRegularExpression line(
            QString(
                "^\\s*%1\\s+2026-12-07\\s+%2\\s+%3\\s+%4\\s+g\\s+%5\\s+2026-12-07\\s+%6\\s+%7\\s")
                .arg(QString::number(k), time(k), QString::number(k - 1),
                     QRegularExpression::escape(mass), QString::number(k + lineCount),
                     time(k + lineCount), QString::number(k + lineCount - 1)));
        EXPECT_EQ(lines.filter(line).size(), 1) << "line " << k;
    }
}

TEST_F(ReportTest, ReportTextsComeFromTheLanguageFile) {
    context.settings.languageFileName = "English.lag";
    ASSERT_TRUE(QDir().mkpath(context.LanguageFolder()));
    INI::ZapiszIni(context.LanguageFilePath(), "Rp1", "RP1_N", "Weighing report");
    INI::ZapiszIni(context.LanguageFilePath(), "Rp1", "Pomiary", "Readings");
    INI::ZapiszIni(context.LanguageFilePath(), "Rp1", "%p z %P", "page %p of %P");
    INI::ZapiszIni(context.LanguageFilePath(), "Rp1", "Jm", "Unit");
    INI::ZapiszIni(context.LanguageFilePath(), "Rp1", "Opis", "Description");
    const SeriesReport::Texts texts = SeriesReport::TranslatedTexts(context);
    EXPECT_EQ(texts.caption, "Weighing report");
    EXPECT_EQ(texts.measurements, "Readings");
    EXPECT_EQ(texts.title, "Raport z wazen");
    // Texts the file lacked are written into it for the translator.
    EXPECT_EQ(INI::CzytajIni(context.LanguageFilePath(), "Rp1", "Suma wazen:", ""), "Suma wazen:");

    AddReadings(3);
    ASSERT_TRUE(ReportText::FillTemp(store.Bound(), nullptr));
    const QString path = File("en.pdf");
    SeriesReport report(context, store);
    ASSERT_TRUE(report.SavePdf(path));
    const QString text = PdfText(path);
    EXPECT_TRUE(text.contains("Readings"));
    EXPECT_TRUE(text.contains("page 1 of 1"));
    // Longer captions widen their columns instead of being cut.
    EXPECT_EQ(text.count("Unit"), 2) << text.toStdString();
    EXPECT_EQ(text.count("Description"), 2) << text.toStdString();
    EXPECT_TRUE(text.contains("2026-12-07"));
}

// The report ends with who printed it, when, and how far the series'
// journal reached: its rows and the head of the chain; a series from before
// the journal says it has none.
TEST_F(ReportTest, TheReportEndsWithTheSeriesIdentity) {
    context.settings.nrWagi = "4";
    AddReadings(3);
    const QString user = QRegularExpression::escape(SeriesJournal::Author::Here("4").user);
    const QString printed =
        "Dziennik serii: stanowisko 4, uzytkownik " + user +
        ", wydrukowano \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d [+-]\\d\\d:\\d\\d, ";
    const SeriesJournal::Verification verified = SeriesJournal::Verify(store.Bound());
    ASSERT_EQ(verified.state, SeriesJournal::Verification::State::Verified);
    const QString journal = QString("wpisow %1, skrot %2")
                                .arg(verified.rows)
                                .arg(QString::fromLatin1(verified.head.toHex().left(16)));
    struct Case {
        const char* name;
        bool withJournal;
        QString ending;
    };
    for (const Case& c : {Case{"journal", true, journal}, Case{"none", false, "brak dziennika"}}) {
        SCOPED_TRACE(c.name);
        if (!c.withJournal)
            store.Bound().Execute("DROP TABLE journal");
        ASSERT_TRUE(ReportText::FillTemp(store.Bound(), nullptr));
        const QString path = File(QString(c.name) + ".pdf");
        SeriesReport report(context, store);
        ASSERT_TRUE(report.SavePdf(path));
        // The identity may wrap; it is the last text before the footer.
        const QString text = PdfText(path).simplified();
        EXPECT_TRUE(text.contains(
            QRegularExpression("\\b3 2026-12-07 10:15:33 .*" + printed + c.ending + " 1 ?z ?1$")))
            << text.toStdString();
    }
}

// A series with a mass of a million and descriptions of 14 and of 50
// characters (the longest the description window takes), as a PDF file.
class WideValuesTest : public ReportTest, public ::testing::WithParamInterface<QLocale::Language> {
protected:
    QString PrintedText() {
        store.SetLocale(QLocale(GetParam()));
        if (GetParam() == QLocale::English) {
            context.settings.languageFileName = "English.lag";
            QDir().mkpath(context.LanguageFolder());
            for (const auto& [key, value] : {std::pair{"Lp", "No."},
                                             {"Godzina", "Time"},
                                             {"Jm", "Unit"},
                                             {"Opis", "Description"}})
                INI::ZapiszIni(context.LanguageFilePath(), "Rp1", key, value);
        }
        AddReadings(5);
        AppendReading(store, "1000000.0001", "g", now.addSecs(6));
        store.SetDescription(0, shortDescription);
        store.SetDescription(5, longDescription);
        EXPECT_EQ(longDescription.size(), 50);
        EXPECT_EQ(shortDescription.size(), 14);
        EXPECT_TRUE(ReportText::FillTemp(store.Bound(), nullptr));
        const QString path = File("wide.pdf");
        SeriesReport report(context, store);
        EXPECT_TRUE(report.SavePdf(path));
        if (const QByteArray keep = qgetenv("REPORT_PDF_KEEP"); !keep.isEmpty())
            QFile::copy(path, QString::fromLocal8Bit(keep) + "-" + store.Locale().name() + ".pdf");
        return PdfText(path);
    }

    const QString shortDescription = QString::fromUtf8("Próbka żółta 1");
    const QString longDescription =
        QString::fromUtf8("Roztwór wzorcowy partii 2026/12 z magazynu głównym");
};

TEST_P(WideValuesTest, NoNumberOrDescriptionIsCut) {
    const QString text = PrintedText();
    ASSERT_FALSE(text.isEmpty());
    EXPECT_FALSE(text.contains(QChar(0x2026))) << text.toStdString();
    const QString mass = "1000000" + store.Locale().decimalPoint() + "0001";
    EXPECT_TRUE(text.contains(QRegularExpression("\\b6\\s+2026-12-07\\s+10:15:36\\s+5\\s+" +
                                                 QRegularExpression::escape(mass) + "\\s+g\\b")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(shortDescription)) << text.toStdString();
    // The long description may wrap, but every word of it is there.
    for (const QString& word : longDescription.split(' '))
        EXPECT_TRUE(text.contains(
            QRegularExpression("(^|\\s)" + QRegularExpression::escape(word) + "(\\s|$)")))
            << word.toStdString() << "\n"
            << text.toStdString();
    // The header's sum of a million and more is whole too.
    EXPECT_TRUE(text.contains(store.Statistics().lblSuma))
        << store.Statistics().lblSuma.toStdString();
}

INSTANTIATE_TEST_SUITE_P(PolishAndEnglish, WideValuesTest,
                         ::testing::Values(QLocale::Polish, QLocale::English));

TEST_F(ReportTest, CalibrationReportFromTheSimulatorIsCapturedRewritten) {
    QProcess simulator;
    const int port = StartTcpSimulator(simulator, BALANCE_SIM_PATH);
    ASSERT_NE(port, 0);

    std::unique_ptr<QObject> control(Mordal::CreateControl("Brisko_2.Comm", nullptr));
    auto* comm = qobject_cast<Mordal::Comm*>(control.get());
    ASSERT_NE(comm, nullptr);
    Raport window(context, store);
    QObject::connect(comm, &Mordal::Comm::OnComm,
                     [&window](const QByteArray& frame, int, int, bool&) {
                         if (window.Capturing())
                             window.AppendFrame(frame);
                     });
    comm->SetCommSource(int(Mordal::enCommSource::TCP));
    comm->SetNetRemoteHost("127.0.0.1");
    comm->SetNetRemotePort(port);
    comm->SetCommOpen(true);
    ASSERT_TRUE(WaitUntil([&] { return comm->CommOpen(); }, 5000));

    simulator.write("report\n");
    ASSERT_TRUE(WaitUntil(
        [&] { return window.Text().contains("-------------------------------\r\n"); }, 5000))
        << window.Text().toStdString();
    const QString text = window.Text();
    EXPECT_TRUE(text.contains("Data: " + QDate::currentDate().toString("dd-MM-yyyy") + "\r\n"));
    EXPECT_TRUE(text.contains(QRegularExpression("Godzina:  \\d\\d:\\d\\d:\\d\\d\r\n")));
    EXPECT_TRUE(text.contains(QString::fromUtf8("Temperatura: 22.5 °C\r\n")));
    EXPECT_FALSE(text.contains(QChar(27)));

    comm->SetCommOpen(false);
    simulator.write("quit\n");
    simulator.waitForFinished(2000);
}
