#include "LanguageTexts.h"
#include "CodePage1250.h"
#include "INI.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Pomiar;
using Pomiar::INI::CzytajIni;
using Pomiar::INI::ZapiszIni;

namespace {

class LanguageFileTest : public ::testing::Test {
protected:
    QTemporaryDir folder{TestEnvironment::Root() + "/language-XXXXXX"};
    QString path = folder.path() + "/Polish.lag";

    void WriteFile(const QByteArray& bytes) { TestFiles::WriteFile(path, bytes); }
    QByteArray ReadFile() { return TestFiles::ReadFile(path); }
};

} // namespace

TEST(MessageTable, PolishDefaultsAsStored) {
    EXPECT_EQ(MessageTable::DefaultText(0),
              QString::fromUtf8("Port jest uzywany. Wyłacz program, ktory z niego korzysta i "
                                "sprobuj ponownie."));
    EXPECT_EQ(MessageTable::DefaultText(46), QString::fromUtf8("Bład"));
    EXPECT_EQ(MessageTable::DefaultText(45), "Uwaga");
    EXPECT_EQ(MessageTable::DefaultText(47), "Informacja");
    EXPECT_EQ(MessageTable::DefaultText(13), QString::fromUtf8("Wybierz własciwy port!"));
    EXPECT_EQ(MessageTable::DefaultText(1),
              QString::fromUtf8("Program nie został poprawnie zainstalowany./n Zainstaluj "
                                "program ponownie"));
    EXPECT_EQ(MessageTable::DefaultText(32), "Kliknij dwukrotnie pomiar aby dodac opis.");
    EXPECT_EQ(MessageTable::DefaultText(49), "Zapisz pomiary");
    EXPECT_FALSE(MessageTable::DefaultText(9).isEmpty());
}

TEST(MessageTable, IndicesWithoutTextAreEmpty) {
    const MessageTable table;
    for (int index = 33; index <= 44; ++index)
        EXPECT_TRUE(table.Text(index).isEmpty()) << index;
    EXPECT_TRUE(table.Text(50).isEmpty());
    EXPECT_TRUE(table.Text(-1).isEmpty());
    EXPECT_TRUE(table.Text(MessageTable::Size).isEmpty());
}

TEST(MessageTable, TextHasLineBreaksWhereTheDefaultHasSlashN) {
    const MessageTable table;
    EXPECT_EQ(table.Text(14), "Port jest aktualnie uzywany.\r\nWybierz inny port");
    EXPECT_EQ(table.Text(1), QString::fromUtf8("Program nie został poprawnie zainstalowany.\r\n "
                                               "Zainstaluj program ponownie"));
}

TEST(MessageTable, LanguageIndicesAreThe38MessagesOfTheFile) {
    const QList<int> indices = MessageTable::LanguageIndices();
    ASSERT_EQ(indices.size(), 38);
    EXPECT_EQ(indices.front(), 0);
    EXPECT_EQ(indices[32], 32);
    EXPECT_EQ(indices[33], 45);
    EXPECT_EQ(indices.back(), 49);
}

TEST_F(LanguageFileTest, GetLangTextAnswersTheValueOfTheFile) {
    WriteFile("[D6]\r\nx=Options\r\n");
    EXPECT_EQ(GetLangText(path, "D6", "x", "Opcje"), "Options");
    EXPECT_EQ(ReadFile(), "[D6]\r\nx=Options\r\n");
}

TEST_F(LanguageFileTest, GetLangTextWritesBackMissingAndEmptyKeys) {
    WriteFile("[D6]\r\nx=\r\n");
    EXPECT_EQ(GetLangText(path, "D6", "x", "Opcje"), "Opcje");
    EXPECT_EQ(GetLangText(path, "D6", "&Zatwierdz", "&Zatwierdz"), "&Zatwierdz");
    EXPECT_EQ(GetLangText(path, "", "ok", "n"), "n");
    EXPECT_EQ(ReadFile(), "ok=n\r\n[D6]\r\nx=Opcje\r\n&Zatwierdz=&Zatwierdz\r\n");
}

TEST_F(LanguageFileTest, GetLangTextFillsANewFile) {
    EXPECT_EQ(GetLangText(path, "D12", "x", "Zakonczenie"), "Zakonczenie");
    EXPECT_EQ(CzytajIni(path, "D12", "x", ""), "Zakonczenie");
}

TEST_F(LanguageFileTest, TextsWithBlanksOrQuotesAtTheirEndsComeBackAsWritten) {
    for (const QString& text : {QString::fromUtf8("Bład numer: "), QString(" lead"),
                                QString("'Start'"), QString("\"quoted\"")}) {
        EXPECT_EQ(GetLangText(path, "MSG", "key", text), text);
        EXPECT_EQ(GetLangText(path, "MSG", "key", "other"), text);
        ZapiszIni(path, "MSG", "key", "");
    }
}

TEST_F(LanguageFileTest, PolishLettersAreCodePage1250OnDiskAndComeBackRight) {
    const QString text = QString::fromUtf8("Bład");
    EXPECT_EQ(GetLangText(path, "MSG", "MSG_46", text), text);
    EXPECT_TRUE(ReadFile().contains(CodePage1250::Encode("MSG_46=" + text)));
    EXPECT_TRUE(ReadFile().contains("B\xb3"
                                    "ad"));
    EXPECT_EQ(GetLangText(path, "MSG", "MSG_46", "other"), text);
}

TEST_F(LanguageFileTest, LoadMessagesOfAFreshFileWritesAll38Defaults) {
    MessageTable table;
    LoadMessages(path, table);
    MessageTable again;
    again.SetText(21, "changed");
    LoadMessages(path, again);
    for (int index : MessageTable::LanguageIndices())
        EXPECT_EQ(again.Text(index), table.Text(index)) << index;
    for (int index : MessageTable::LanguageIndices())
        EXPECT_EQ(GetLangText(path, "MSG", QString("MSG_%1").arg(index), "missing"),
                  MessageTable::DefaultText(index))
            << index;
    EXPECT_EQ(CzytajIni(path, "MSG", "MSG_33", "missing"), "missing");
    EXPECT_EQ(table.Text(46), QString::fromUtf8("Bład"));
    EXPECT_EQ(table.Text(8), "Wybrany plik jest aktualnie uzywany!\r\nWybierz inny plik.");
}

TEST_F(LanguageFileTest, LoadMessagesTakesTranslationsWithLineBreaks) {
    WriteFile("ok=n\r\n[MSG]\r\nMSG_5=Quit the program?\r\nMSG_14=Port busy./nChoose another\r\n"
              "MSG_46=Error\r\nMSG_40=never read\r\n");
    MessageTable table;
    table.SetText(40, "kept out");
    LoadMessages(path, table);
    EXPECT_EQ(table.Text(5), "Quit the program?");
    EXPECT_EQ(table.Text(14), "Port busy.\r\nChoose another");
    EXPECT_EQ(table.Text(14).split("\r\n").size(), 2);
    EXPECT_EQ(table.Text(46), "Error");
    EXPECT_TRUE(table.Text(40).isEmpty());
    EXPECT_EQ(table.Text(45), "Uwaga");
    EXPECT_EQ(CzytajIni(path, "MSG", "MSG_45", ""), "Uwaga");
}

TEST_F(LanguageFileTest, AFileSavedAsUtf8ShowsItsLettersAndStaysUtf8) {
    const QString title = QString::fromUtf8("Właściwości");
    for (const QByteArray& mark : {QByteArray(), QByteArray("\xEF\xBB\xBF")}) {
        const QByteArray original = mark + "[D1]\r\nx=" + title.toUtf8() + "\r\n";
        WriteFile(original);
        EXPECT_TRUE(IsUsableLanguageFile(path));
        EXPECT_EQ(GetLangText(path, "D1", "x", "Opcje"), title);
        EXPECT_EQ(GetLangText(path, "D1", "Błąd", QString::fromUtf8("Błąd")),
                  QString::fromUtf8("Błąd"));
        EXPECT_EQ(ReadFile(), original + QString::fromUtf8("Błąd=Błąd\r\n").toUtf8());
    }
}

TEST_F(LanguageFileTest, AFileOfNoTextIsNeitherShownNorWrittenInto) {
    // Bytes the code page leaves undefined, in a file that is no UTF-8 either.
    const QByteArray garbage = "[D6]\r\nx=\x81\x83\x98\r\n";
    WriteFile(garbage);
    EXPECT_FALSE(IsUsableLanguageFile(path));
    EXPECT_EQ(GetLangText(path, "D6", "x", "Opcje"), "Opcje");
    EXPECT_EQ(GetLangText(path, "D6", "&Zatwierdz", "&Zatwierdz"), "&Zatwierdz");
    EXPECT_EQ(ReadFile(), garbage);
}

TEST_F(LanguageFileTest, ARejectedFileAnswersTheDesignedTextsAndStaysAsItIs) {
    const QByteArray original = "[D6]\r\nx=Options\r\n";
    WriteFile(original);
    UseDesignedTexts(path);
    EXPECT_EQ(GetLangText(path, "D6", "x", "Opcje"), "Opcje");
    EXPECT_EQ(GetLangText(path, "D6", "missing", "missing"), "missing");
    EXPECT_EQ(ReadFile(), original);
}

TEST(LanguageFileName, PointingAtADeviceReadsAsAMissingFileAndWritesNothing) {
    // "language=../../dev/zero" in ustawienia.ini.
    EXPECT_FALSE(IsUsableLanguageFile("/dev/zero"));
    EXPECT_EQ(GetLangText("/dev/zero", "", "ok", "n"), "n");
    EXPECT_FALSE(QFileInfo("/dev/zero").isFile());
}
