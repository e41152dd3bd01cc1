#include "Database.h"
#include "INI.h"
#include "MeasurementStore.h"
#include "PerUserSettings.h"
#include "ProgramContext.h"
#include "ScriptedDialogs.h"
#include "StoreReadings.h"
#include "TestFiles.h"
#include "Wykres.h"
#include "Wykresopcje.h"

#include <QApplication>
#include <QCategoryAxis>
#include <QChartView>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGraphicsTextItem>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolTip>
#include <QValueAxis>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

using Kind = ScriptedDialogs::Kind;

class ChartTest : public ::testing::Test {
protected:
    ChartTest() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        // Each test keeps its own per-user values.
        context.userSettings = std::make_shared<PerUserSettings>(
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        store.SetLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        store.OtworzMagazyn();
    }

    ~ChartTest() override {
        delete wykres;
        QObject::disconnect(redraw);
    }

    void Set(const char* key, const QString& value) {
        context.userSettings->SaveSetting(ChartOptions::Section, QLatin1String(key), value);
    }

    QString Saved(const char* key) const {
        return context.userSettings->GetSetting(ChartOptions::Section, QLatin1String(key),
                                                QStringLiteral("<missing>"));
    }

    void LastN(const QString& count, const QString& max, const QString& min) {
        Set("Liczba", "1");
        Set("LiczbaPom", count);
        Set("Max", max);
        Set("Min", min);
    }

    // Readings 10, 11, 12, ... one second apart.
    void AddReadings(int count) {
        for (int i = 0; i < count; ++i) {
            const int n = store.RowCount();
            ASSERT_TRUE(
                AppendReading(store, QString::number(10 + n) + " g\r\n", "g", start.addSecs(n)));
        }
    }

    // What the main window's open-chart command does.
    void Open() {
        wykres = Wykres::Show(context, store, wykres, nullptr);
        if (wykres && !redraw)
            redraw = QObject::connect(&store, &MeasurementStore::SeriesChanged, [this] {
                if (wykres)
                    wykres->Redraw();
            });
    }

    static QList<double> Ys(const QLineSeries* series) {
        QList<double> ys;
        for (const QPointF& point : series->points())
            ys << point.y();
        return ys;
    }

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
    MeasurementStore store{context};
    QMetaObject::Connection redraw;
    QPointer<Wykres> wykres;
    const QDateTime start{QDate(2026, 12, 7), QTime(10, 15, 30)};
};

// A series file with the rows given as (lptekst, godzina, Timer, masa).
struct StoredRow {
    QString lptekst;
    QDateTime godzina;
    QVariant timer;
    double masa;
};

QString WriteSeriesFile(const QString& path, const std::vector<StoredRow>& rows) {
    Database file(path);
    file.CreateSchema();
    int lp = 0;
    for (const StoredRow& row : rows)
        file.Execute("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst) "
                     "VALUES (?, ?, ?, ?, ?, 'g', ?)",
                     {++lp, row.godzina.date(), row.godzina, row.timer, row.masa, row.lptekst});
    return path;
}

} // namespace

TEST_F(ChartTest, AllReadingsNeedTwoReadings) {
    Set("Liczba", "0");
    AddReadings(1);
    Open();
    EXPECT_EQ(wykres, nullptr);
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls()[0].text, context.Msg(3));
    EXPECT_EQ(dialogs.Calls()[0].title, context.Msg(46));

    AddReadings(1);
    Open();
    ASSERT_NE(wykres, nullptr);
    EXPECT_TRUE(wykres->isVisible());
    EXPECT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(Ys(wykres->MassSeries()), (QList<double>{10, 11}));
    EXPECT_EQ(wykres->AxisX()->categoriesLabels().first(), "1");
    EXPECT_FALSE(wykres->UpperLine()->isVisible());
}

TEST_F(ChartTest, LastNChartsTheNewestFirstWithTwoLimitLines) {
    LastN("5", "13,5", "10,25");
    AddReadings(4);
    Open();
    EXPECT_EQ(wykres, nullptr);
    EXPECT_EQ(dialogs.Messages(), QStringList{context.Msg(3)});

    AddReadings(2);
    Open();
    ASSERT_NE(wykres, nullptr);
    EXPECT_EQ(Ys(wykres->MassSeries()), (QList<double>{15, 14, 13, 12, 11}));
    EXPECT_EQ(wykres->AxisX()->categoriesLabels().first(), "6 ");
    EXPECT_EQ(Ys(wykres->UpperLine()), (QList<double>{13.5, 13.5}));
    EXPECT_EQ(Ys(wykres->LowerLine()), (QList<double>{10.25, 10.25}));
    EXPECT_TRUE(wykres->UpperLine()->isVisible());
    // The lines run across the whole horizontal axis.
    EXPECT_LE(wykres->UpperLine()->at(0).x(), wykres->AxisX()->min());
    EXPECT_GE(wykres->UpperLine()->at(1).x(), wykres->AxisX()->max());
}

TEST_F(ChartTest, LastNOverASeriesWithoutTimesIsRefused) {
    LastN("2", "1", "0");
    const QDateTime at(QDate(2026, 1, 2), QTime(8, 0));
    store.OtworzBaze(WriteSeriesFile(folder.filePath("old.ser"),
                                     {{"1", at, QVariant(), 1.0}, {"2", at.addSecs(1), 1, 2.0}}));
    Open();
    EXPECT_EQ(wykres, nullptr);
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls()[0].text, context.Msg(7));
    EXPECT_EQ(dialogs.Calls()[0].title, QString()); // the application's title

    // All readings do not need the times.
    Set("Liczba", "0");
    Open();
    EXPECT_NE(wykres, nullptr);
}

TEST_F(ChartTest, LastNOrdersByTimeAndKeepsRepeatedNumbersApart) {
    LastN("3", "0", "0");
    const QDateTime at(QDate(2026, 1, 2), QTime(8, 0));
    // Two continuous batches: their numbers restart, and the second batch
    // was stored before a reading taken later.
    store.OtworzBaze(
        WriteSeriesFile(folder.filePath("batches.ser"), {{"1", at, 0, 1.0},
                                                         {"2", at.addSecs(1), 1, 2.0},
                                                         {"1", at.addSecs(10), 10, 5.0},
                                                         {"2", at.addSecs(2), 2, 3.0}}));
    Set("LiczbaPom", "1");
    Open();
    ASSERT_NE(wykres, nullptr);
    EXPECT_EQ(Ys(wykres->MassSeries()), QList<double>{5.0});

    Set("LiczbaPom", "3");
    Set("Liczba", "0");
    wykres->Redraw();
    // A fifth of four rows rounds to one: every row is labelled, and the
    // repeated numbers stay separate categories.
    EXPECT_EQ(wykres->AxisX()->count(), 4);
    EXPECT_EQ(wykres->AxisX()->categoriesLabels().first(), "1");
}

TEST_F(ChartTest, RaisingNWhileOpenChartsTheRowsThereAre) {
    LastN("3", "20", "5");
    AddReadings(4);
    Open();
    ASSERT_NE(wykres, nullptr);
    Set("LiczbaPom", "500");
    wykres->Redraw();
    EXPECT_EQ(Ys(wykres->MassSeries()), (QList<double>{13, 12, 11, 10}));
    EXPECT_EQ(wykres->AxisX()->categoriesLabels().first(), "4 ");
}

TEST_F(ChartTest, ChartFollowsNewReadingsAndANewSeries) {
    AddReadings(2);
    Open();
    ASSERT_NE(wykres, nullptr);
    AddReadings(1);
    EXPECT_EQ(Ys(wykres->MassSeries()), (QList<double>{10, 11, 12}));
    EXPECT_GE(wykres->AxisY()->max(), 12);

    store.NowaSeria();
    EXPECT_EQ(wykres->MassSeries()->count(), 0);
}

TEST_F(ChartTest, LabelsAndTicksAreThinnedToAboutFive) {
    EXPECT_EQ(ChartData::LabelStep(0), 1);
    EXPECT_EQ(ChartData::LabelStep(2), 1);
    EXPECT_EQ(ChartData::LabelStep(12), 2);
    EXPECT_EQ(ChartData::LabelStep(13), 3);
    EXPECT_EQ(ChartData::LabelStep(100000), 20000);

    AddReadings(12);
    Open();
    ASSERT_NE(wykres, nullptr);
    const QStringList labels = wykres->AxisX()->categoriesLabels();
    EXPECT_EQ(labels, (QStringList{"1", "3", "5", "7", "9", "11"}));
    EXPECT_EQ(wykres->AxisX()->endValue("3"), 3);
}

TEST(ChartPointsTest, LongSeriesKeepsItsExtremesInOrder) {
    std::vector<double> values(10001, 1.0);
    values[5000] = 100;
    values[7777] = -50;
    values[7778] = 60;
    const QList<QPointF> points = ChartPoints(values);
    EXPECT_LE(points.size(), MaxChartPoints);
    EXPECT_TRUE(points.contains(QPointF(5001, 100)));
    EXPECT_TRUE(points.contains(QPointF(7778, -50)));
    EXPECT_TRUE(points.contains(QPointF(7779, 60)));
    for (qsizetype i = 1; i < points.size(); ++i)
        ASSERT_LT(points[i - 1].x(), points[i].x()) << i;
    EXPECT_EQ(points.first().x(), 1);

    // A short series is drawn point for point.
    const QList<QPointF> few = ChartPoints({3, 1, 2});
    EXPECT_EQ(few, (QList<QPointF>{{1, 3}, {2, 1}, {3, 2}}));
}

TEST_F(ChartTest, VerticalAxisFixedOrAutomatic) {
    AddReadings(3);
    Set("OYAuto", "0");
    Set("OYMin", "-1,5");
    Set("OYMax", "40");
    Open();
    ASSERT_NE(wykres, nullptr);
    EXPECT_EQ(wykres->AxisY()->min(), -1.5);
    EXPECT_EQ(wykres->AxisY()->max(), 40);
    EXPECT_EQ(wykres->AxisY()->tickCount(), 11);

    // A reversed range, like missing values, falls back to automatic.
    Set("OYMin", "50");
    wykres->Redraw();
    EXPECT_LE(wykres->AxisY()->min(), 10);
    EXPECT_GE(wykres->AxisY()->max(), 12);
    EXPECT_LT(wykres->AxisY()->max(), 50);
}

// The texts the chart draws (axis labels, legend) once it is laid out.
QStringList DrawnTexts(Wykres& wykres) {
    wykres.show();
    QApplication::processEvents();
    wykres.MSChart1->grab();
    QStringList texts;
    for (QGraphicsItem* item : wykres.MSChart1->scene()->items())
        if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text && text->isVisible())
            texts << text->toPlainText();
    return texts;
}

TEST_F(ChartTest, AxisLabelsUseTheLocalesDecimalSeparator) {
    Set("OYAuto", "0");
    Set("OYMin", "9,5");
    Set("OYMax", "14,5");
    for (const QLocale& locale : {QLocale(QLocale::Polish, QLocale::Poland),
                                  QLocale(QLocale::English, QLocale::UnitedStates)}) {
        SCOPED_TRACE(locale.name().toStdString());
        delete wykres;
        store.SetLocale(locale);
        store.NowaSeria();
        AddReadings(3);
        Open();
        ASSERT_NE(wykres, nullptr);
        // Ten divisions from 9.5 to 14.5: every label has a half.
        const QStringList labels = DrawnTexts(*wykres).filter(QRegularExpression("^\\d+\\D5$"));
        ASSERT_FALSE(labels.isEmpty()) << DrawnTexts(*wykres).join('|').toStdString();
        for (const QString& label : labels)
            EXPECT_EQ(label.mid(label.size() - 2, 1), locale.decimalPoint()) << label.toStdString();
    }
}

TEST_F(ChartTest, LegendFollowsTheLanguageFile) {
    context.settings.languageFileName = "English.lag";
    ASSERT_TRUE(QDir().mkpath(context.LanguageFolder()));
    INI::ZapiszIni(context.LanguageFilePath(), "D10", "Masa", "Mass");
    INI::ZapiszIni(context.LanguageFilePath(), "D10", "Gorna granica", "Upper limit");
    LastN("2", "12", "9");
    AddReadings(2);
    Open();
    ASSERT_NE(wykres, nullptr);
    EXPECT_EQ(wykres->MassSeries()->name(), "Mass");
    EXPECT_EQ(wykres->UpperLine()->name(), "Upper limit");
    // A text the file lacks is written into it for the translator.
    EXPECT_EQ(wykres->LowerLine()->name(), "Dolna granica");
    EXPECT_EQ(INI::CzytajIni(context.LanguageFilePath(), "D10", "Dolna granica", ""),
              "Dolna granica");
    const QStringList drawn = DrawnTexts(*wykres);
    EXPECT_TRUE(drawn.contains("Mass")) << drawn.join('|').toStdString();
}

TEST_F(ChartTest, MissingOptionsChartAllReadingsOnAnAutomaticAxis) {
    const ChartOptions opcje = ChartOptions::Load(context.userSettings.get());
    EXPECT_FALSE(opcje.ostatnie);
    EXPECT_TRUE(opcje.osAuto);
    EXPECT_EQ(opcje.ReadingsNeeded(), 2);
    // Last-N with a count that is no count: all readings.
    Set("Liczba", "1");
    EXPECT_FALSE(ChartOptions::Load(context.userSettings.get()).ostatnie);
    Set("LiczbaPom", "99999");
    EXPECT_EQ(ChartOptions::Load(context.userSettings.get()).liczba, 32767);
}

TEST_F(ChartTest, StoredReportMakesTheWindowTaller) {
    AddReadings(2);
    Open();
    ASSERT_NE(wykres, nullptr);
    EXPECT_EQ(wykres->height(), Wykres::HeightWithoutReport);
    EXPECT_TRUE(wykres->lblRaport->text().isEmpty());
    delete wykres;

    store.Bound().Execute("INSERT INTO raport (Raport) VALUES ('Kalibracja\r\nOK')");
    Open();
    ASSERT_NE(wykres, nullptr);
    EXPECT_EQ(wykres->height(), Wykres::HeightWithReport);
    EXPECT_EQ(wykres->lblRaport->text(), "Kalibracja\r\nOK");
    EXPECT_TRUE(wykres->lblRaport->isVisible());

    // Taking the report away leaves an open window's height alone.
    store.Bound().Execute("DELETE FROM raport");
    wykres->ShowReport();
    EXPECT_TRUE(wykres->lblRaport->text().isEmpty());
    EXPECT_EQ(wykres->height(), Wykres::HeightWithReport);
}

TEST_F(ChartTest, EscapeClosesAndTooFewReadingsCloseAnOpenChart) {
    AddReadings(2);
    Open();
    ASSERT_NE(wykres, nullptr);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(wykres, &escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(wykres, nullptr);

    Open();
    ASSERT_NE(wykres, nullptr);
    LastN("50", "1", "0");
    Open();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(wykres, nullptr);
    EXPECT_EQ(dialogs.Messages(), QStringList{context.Msg(3)});
}

TEST_F(ChartTest, PrintingWithoutPrinterWritesAPdfOrSaysNoPrinter) {
    AddReadings(3);
    Open();
    ASSERT_NE(wykres, nullptr);
    dialogs.printersInstalled = false;
    wykres->txtPodpis->setText("Seria 7");

    const QString pdf = folder.filePath("wykres");
    dialogs.FileNext(pdf);
    wykres->mnudrukuj->trigger();
    const QByteArray written = TestFiles::ReadFile(pdf + ".pdf");
    EXPECT_TRUE(written.startsWith("%PDF")) << written.left(20).toStdString();
    EXPECT_TRUE(wykres->txtPodpis->hasFrame());
    EXPECT_TRUE(dialogs.Messages().isEmpty());

    // Declining the file: no printer was found.
    wykres->mnudrukuj->trigger();
    EXPECT_EQ(dialogs.Messages(), QStringList{context.Msg(16)});
    EXPECT_EQ(dialogs.CallsOf(Kind::MessageBox).back().title, context.Msg(46));

    // A file that cannot be written is an error of its own.
    dialogs.Clear();
    dialogs.FileNext(folder.filePath("missing/folder/wykres.pdf"));
    wykres->mnudrukuj->trigger();
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_NE(dialogs.Messages()[0], context.Msg(16));
}

TEST_F(ChartTest, PrintingGoesToTheChosenPrinter) {
    AddReadings(2);
    Open();
    ASSERT_NE(wykres, nullptr);
    const QString pdf = folder.filePath("chosen.pdf");
    dialogs.printersInstalled = true;
    dialogs.PrinterNext(pdf);
    wykres->Drukuj();
    EXPECT_TRUE(TestFiles::ReadFile(pdf).startsWith("%PDF"));
    QFile::remove(pdf);
    dialogs.PrinterNext(std::nullopt);
    wykres->Drukuj(); // cancelled
    EXPECT_FALSE(QFile::exists(pdf));
    // Nothing but the two print dialogs was shown.
    EXPECT_EQ(dialogs.Calls().size(), 2u);
    EXPECT_EQ(dialogs.CallsOf(Kind::ChoosePrinter).size(), 2u);
    EXPECT_TRUE(dialogs.QueuesEmpty());
}

// The options dialog.

class ChartOptionsTest : public ChartTest {
protected:
    void Fill(Wykresopcje& dialog, bool lastN, const QString& count, const QString& max,
              const QString& min, bool automatic, const QString& low, const QString& high) {
        dialog.chkLiczba->setChecked(lastN);
        dialog.txtLiczba->setText(count);
        dialog.txtMax->setText(max);
        dialog.txtMin->setText(min);
        dialog.Check1->setChecked(automatic);
        dialog.Text1->setText(low);
        dialog.Text2->setText(high);
    }

    static bool Type(QLineEdit* edit, const QString& text) {
        const QString before = edit->text();
        edit->setFocus();
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, text);
        QApplication::sendEvent(edit, &key);
        return edit->text() != before;
    }
};

TEST_F(ChartOptionsTest, MinAboveMaxIsRefusedOnlyForAFixedAxis) {
    Wykresopcje dialog(context);
    int saved = 0;
    QObject::connect(&dialog, &Wykresopcje::Zapisano, [&saved] { ++saved; });
    Fill(dialog, true, "10", "3", "1", false, "5", "3");
    dialog.Command1->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{context.Msg(18)});
    EXPECT_EQ(dialogs.Calls().back().title, context.Msg(46));
    EXPECT_EQ(saved, 0);
    EXPECT_EQ(Saved("OYMin"), "<missing>");

    dialog.Check1->setChecked(true);
    dialog.Command1->click();
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Saved("OYAuto"), "1");
    EXPECT_EQ(Saved("OYMin"), "5");
    EXPECT_EQ(Saved("OYMax"), "3");
    EXPECT_EQ(Saved("Liczba"), "1");
    EXPECT_EQ(Saved("LiczbaPom"), "10");
    EXPECT_EQ(Saved("Max"), "3");
    EXPECT_EQ(Saved("Min"), "1");
}

TEST_F(ChartOptionsTest, ChecksComeInTheirOrder) {
    Wykresopcje dialog(context);
    int saved = 0;
    QObject::connect(&dialog, &Wykresopcje::Zapisano, [&saved] { ++saved; });
    // An empty range field comes first, before the count.
    Fill(dialog, true, "0", "", "", false, "", "3");
    dialog.Command1->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{context.Msg(17)});

    dialogs.Clear();
    dialog.Text1->setText("1");
    dialog.Command1->click();
    ASSERT_EQ(dialogs.Messages(), QStringList{context.Msg(19)});
    EXPECT_EQ(dialogs.Calls().back().title, context.Msg(45));

    // Empty count, then empty limits: nothing at all happens.
    dialogs.Clear();
    dialog.txtLiczba->clear();
    dialog.Command1->click();
    dialog.txtLiczba->setText("5");
    dialog.Command1->click();
    EXPECT_TRUE(dialogs.Calls().empty());
    EXPECT_EQ(saved, 0);
    EXPECT_EQ(Saved("Liczba"), "<missing>");

    dialog.txtMax->setText("7,5");
    dialog.txtMin->setText("2");
    dialog.Command1->click();
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(Saved("Max"), "7,5");
    EXPECT_EQ(ChartOptions::Load(context.userSettings.get()).gorna, 7.5);
}

TEST_F(ChartOptionsTest, FieldsOfAnUnchosenModeDoNotBlockSaving) {
    // What a user without saved options finds: everything empty.
    Wykresopcje dialog(context);
    EXPECT_TRUE(dialog.Check1->isChecked());
    EXPECT_FALSE(dialog.chkLiczba->isChecked());
    dialog.Command1->click();
    EXPECT_TRUE(dialogs.Calls().empty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Saved("Liczba"), "0");
}

TEST_F(ChartOptionsTest, EnablingFollowsTheBoxesAndTheSavedValues) {
    {
        Wykresopcje dialog(context);
        for (QLineEdit* edit :
             {dialog.txtLiczba, dialog.txtMax, dialog.txtMin, dialog.Text1, dialog.Text2})
            EXPECT_FALSE(edit->isEnabled()) << edit->objectName().toStdString();
        dialog.chkLiczba->click();
        EXPECT_TRUE(dialog.txtLiczba->isEnabled());
        EXPECT_TRUE(dialog.txtMin->isEnabled());
        dialog.Check1->click();
        EXPECT_TRUE(dialog.Text1->isEnabled());
        EXPECT_TRUE(dialog.Text2->isEnabled());
    }
    LastN("8", "2,5", "1");
    Set("OYAuto", "0");
    Set("OYMin", "-3");
    Set("OYMax", "9");
    Wykresopcje dialog(context);
    EXPECT_TRUE(dialog.chkLiczba->isChecked());
    EXPECT_FALSE(dialog.Check1->isChecked());
    EXPECT_EQ(dialog.txtLiczba->text(), "8");
    EXPECT_EQ(dialog.txtMax->text(), "2,5");
    EXPECT_EQ(dialog.Text1->text(), "-3");
    for (QLineEdit* edit :
         {dialog.txtLiczba, dialog.txtMax, dialog.txtMin, dialog.Text1, dialog.Text2})
        EXPECT_TRUE(edit->isEnabled()) << edit->objectName().toStdString();

    // Cancel keeps what was stored.
    dialog.Check1->setChecked(true);
    dialog.Command2->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(Saved("OYAuto"), "0");
}

TEST_F(ChartOptionsTest, FieldsTakeOnlyTheirKeys) {
    Wykresopcje dialog(context);
    dialog.locale = QLocale(QLocale::Polish, QLocale::Poland);
    dialog.chkLiczba->setChecked(true);
    dialog.Check1->setChecked(false);
    EXPECT_TRUE(Type(dialog.txtLiczba, "7"));
    EXPECT_FALSE(Type(dialog.txtLiczba, ","));
    EXPECT_FALSE(Type(dialog.txtLiczba, "a"));
    EXPECT_TRUE(Type(dialog.txtMax, ","));
    EXPECT_FALSE(Type(dialog.txtMax, "-"));
    EXPECT_TRUE(Type(dialog.txtMin, "."));
    EXPECT_TRUE(Type(dialog.Text1, "-"));
    EXPECT_TRUE(Type(dialog.Text2, ","));
    EXPECT_FALSE(Type(dialog.Text2, "e"));
    EXPECT_EQ(dialog.txtLiczba->text(), "7");
    // Backspace edits every field.
    dialog.txtLiczba->end(false);
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier, "\b");
    QApplication::sendEvent(dialog.txtLiczba, &backspace);
    EXPECT_EQ(dialog.txtLiczba->text(), "");
}

TEST_F(ChartOptionsTest, APointTypedInEnglishIsADecimalPoint) {
    Wykresopcje dialog(context);
    dialog.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    dialog.chkLiczba->setChecked(true);
    dialog.Check1->setChecked(false);
    for (const char* key : {"1", "2", ".", "3", "4", "4"})
        EXPECT_TRUE(Type(dialog.txtMax, key)) << key;
    EXPECT_EQ(dialog.txtMax->text(), "12.344");
    // The comma groups thousands in English; neither it nor a second point
    // goes in unseen.
    for (const char* key : {",", "."}) {
        QToolTip::hideText();
        EXPECT_FALSE(Type(dialog.txtMax, key)) << key;
        EXPECT_TRUE(QToolTip::isVisible()) << key;
        EXPECT_EQ(QToolTip::text(), "0-9 .") << key;
    }
    EXPECT_FALSE(Type(dialog.Text1, ","));
    EXPECT_EQ(QToolTip::text(), "0-9 . -");
    // Typed over the selection, a point may replace the one selected.
    dialog.txtMax->setSelection(2, 2);
    EXPECT_TRUE(Type(dialog.txtMax, "."));
    EXPECT_EQ(dialog.txtMax->text(), "12.44");

    dialog.txtLiczba->setText("3");
    dialog.txtMin->setText("1.5");
    Type(dialog.Text1, "9");
    Type(dialog.Text2, "2");
    Type(dialog.Text2, "0");
    dialog.Command1->click();
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    const ChartOptions opcje = ChartOptions::Load(context.userSettings.get());
    EXPECT_DOUBLE_EQ(opcje.gorna, 12.44);
    EXPECT_DOUBLE_EQ(opcje.dolna, 1.5);
    EXPECT_EQ(opcje.osMax, 20);
}

TEST_F(ChartOptionsTest, PolishFieldsTakeTheCommaAndThePointOnce) {
    Wykresopcje dialog(context);
    dialog.locale = QLocale(QLocale::Polish, QLocale::Poland);
    dialog.chkLiczba->setChecked(true);
    for (const char* key : {"7", ",", "5"})
        EXPECT_TRUE(Type(dialog.txtMin, key));
    EXPECT_FALSE(Type(dialog.txtMin, "."));
    EXPECT_FALSE(Type(dialog.txtMin, ","));
    EXPECT_EQ(dialog.txtMin->text(), "7,5");
    EXPECT_TRUE(Type(dialog.txtMax, "."));
    EXPECT_FALSE(Type(dialog.txtMax, ","));
    EXPECT_EQ(QToolTip::text(), "0-9 , .");
}

TEST_F(ChartOptionsTest, SavingRedrawsAnOpenChart) {
    AddReadings(4);
    Open();
    ASSERT_NE(wykres, nullptr);
    ASSERT_EQ(wykres->MassSeries()->count(), 4);

    Wykresopcje dialog(context);
    QObject::connect(&dialog, &Wykresopcje::Zapisano, [this] {
        if (wykres)
            wykres->Redraw();
    });
    Fill(dialog, true, "2", "14", "9", true, "", "");
    dialog.Command1->click();
    EXPECT_EQ(Ys(wykres->MassSeries()), (QList<double>{13, 12}));
    EXPECT_EQ(Ys(wykres->UpperLine()), (QList<double>{14, 14}));
}
