#include "ErrorLog.h"
#include "CodePage1250.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using Pomiar::ErrorLog::FileLimit;
using Pomiar::ErrorLog::ZapiszLog;

namespace {

const QDateTime Now(QDate(2024, 3, 5), QTime(9, 7, 3));

class ErrorLogTest : public ::testing::Test {
protected:
    QTemporaryDir folder;

    QString Path(const char* name) const { return QDir(folder.path()).filePath(name); }

    QByteArray Read(const char* name) const {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    void Fill(const char* name, qint64 size) const {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(QByteArray(size, 'x')), size);
    }

    void Log(const QString& text) const {
        ZapiszLog(folder.path(), "Glowna", "Timer1_Timer", text, Now);
    }

    static QByteArray Line(const char* text) {
        return QByteArray("2024-03-05;09:07:03;Glowna;Timer1_Timer;") + text + "\r\n";
    }
};

TEST_F(ErrorLogTest, CreatesBothFilesAndAppendsLinesToTheFirst) {
    Log("Overflow");
    Log("Invalid procedure call or argument");
    EXPECT_EQ(Read("Error1.log"), Line("Overflow") + Line("Invalid procedure call or argument"));
    EXPECT_EQ(Read("Error2.log"), QByteArray());
}

TEST_F(ErrorLogTest, WritesTextsInCodePage1250) {
    ZapiszLog(folder.path(), "Główna", "Zapis", "Błąd zapisu", Now);
    const QByteArray expected = Pomiar::CodePage1250::Encode(
        QStringLiteral("2024-03-05;09:07:03;Główna;Zapis;Błąd zapisu\r\n"));
    EXPECT_EQ(Read("Error1.log"), expected);
    EXPECT_TRUE(expected.contains('\xB3')); // "ł" is one byte, not UTF-8's two
}

TEST_F(ErrorLogTest, ShorterFirstFileGivesWayToTheSecond) {
    Fill("Error1.log", 10);
    Fill("Error2.log", 20);
    Log("A");
    EXPECT_EQ(Read("Error1.log").size(), 10);
    EXPECT_EQ(Read("Error2.log"), QByteArray(20, 'x') + Line("A"));
}

TEST_F(ErrorLogTest, FilesTakeTurnsAtTheLimit) {
    const qint64 lineSize = Line("A").size();
    Fill("Error1.log", FileLimit - lineSize);
    Fill("Error2.log", 50);

    // The first reaches the limit exactly: the second is emptied for what follows.
    Log("A");
    EXPECT_EQ(Read("Error1.log").size(), FileLimit);
    EXPECT_EQ(Read("Error2.log"), QByteArray());
    Log("B");
    EXPECT_EQ(Read("Error2.log"), Line("B"));
    EXPECT_EQ(Read("Error1.log").size(), FileLimit);

    // The second grows past the limit: the first is emptied and current again.
    Fill("Error2.log", FileLimit - 1);
    Log("C");
    EXPECT_EQ(Read("Error2.log").size(), FileLimit - 1 + lineSize);
    EXPECT_EQ(Read("Error1.log"), QByteArray());
    Log("D");
    Log("E");
    EXPECT_EQ(Read("Error1.log"), Line("D") + Line("E"));
    EXPECT_EQ(Read("Error2.log").size(), FileLimit - 1 + lineSize);
}

TEST_F(ErrorLogTest, JustBelowTheLimitKeepsTheOtherFile) {
    Fill("Error1.log", FileLimit - Line("A").size() - 1);
    Fill("Error2.log", 50);
    Log("A");
    EXPECT_EQ(Read("Error1.log").size(), FileLimit - 1);
    EXPECT_EQ(Read("Error2.log").size(), 50);
}

TEST_F(ErrorLogTest, MissingFileBesideAFullOneIsCreatedAndTakesTheLine) {
    Fill("Error1.log", FileLimit);
    Log("A");
    EXPECT_EQ(Read("Error2.log"), Line("A"));
    EXPECT_EQ(Read("Error1.log").size(), FileLimit);
}

TEST_F(ErrorLogTest, UnwritableFolderIsSkippedQuietly) {
    const QString missing = QDir(folder.path()).filePath("no/such/folder");
    EXPECT_NO_THROW(ZapiszLog(missing, "Glowna", "Timer1_Timer", "Overflow", Now));
    EXPECT_FALSE(QFile::exists(missing));
}

} // namespace
