// The check of a series file's journal that runs beside the window: its
// verdict comes back on the thread that asked for it, only the newest
// check is ever told, and the file is only read.
#include "JournalCheck.h"
#include "Database.h"
#include "EventWait.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "ScriptedDialogs.h"
#include "SeriesFile.h"
#include "StoreReadings.h"
#include "TestFiles.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace Pomiar;
using State = SeriesJournal::Verification::State;

namespace {

class JournalCheckTest : public ::testing::Test {
protected:
    JournalCheckTest() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
    }

    // A series file of `readings` readings, each journaled as the store
    // journals it.
    QString Series(const QString& name, int readings) {
        const QString path = folder.filePath(name);
        MeasurementStore store(context);
        store.OtworzMagazyn();
        const QDateTime start = QDateTime::currentDateTime();
        for (int i = 0; i < readings; ++i)
            AppendReading(store, QString::number(10 + i) + " g", "g", start.addSecs(i),
                          "S 10 g\r\n");
        QString error;
        EXPECT_EQ(SeriesFile::ZapiszSerie(store.Bound(), path, nullptr, &error),
                  SeriesFile::SaveResult::Completed)
            << error.toStdString();
        return path;
    }

    QString Tampered(const QString& name) {
        const QString path = Series(name, 3);
        Database(path, Database::Journal::Rollback)
            .Execute("UPDATE Pomiary SET Masa = 99 WHERE Lp = 2");
        return path;
    }

    // The verdicts told, waiting for the check to end.
    QList<QList<QVariant>> Told(JournalCheck& check, QSignalSpy& spy) {
        EXPECT_TRUE(WaitUntil([&] { return !check.Running(); }, 20000));
        // A stale verdict would be queued behind the newest one.
        RunEventsFor(50);
        return spy;
    }

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
};

// The file checked is only read, and the verdict comes back to the thread
// that asked.
TEST_F(JournalCheckTest, TheVerdictComesBackOnTheThreadThatStartedTheCheck) {
    const QString path = Series("seria.ser", 3);
    const QByteArray before = TestFiles::ReadFile(path);
    JournalCheck check;
    QThread* toldOn = nullptr;
    QObject::connect(&check, &JournalCheck::Checked, &check,
                     [&] { toldOn = QThread::currentThread(); });
    QSignalSpy spy(&check, &JournalCheck::Checked);
    check.Start(path);
    EXPECT_TRUE(check.Running());
    const auto told = Told(check, spy);
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told[0][0].toString(), path);
    const auto verdict = told[0][1].value<SeriesJournal::Verification>();
    EXPECT_EQ(verdict.state, State::Verified) << verdict.where.toStdString();
    EXPECT_GT(verdict.rows, 3);
    EXPECT_EQ(toldOn, QThread::currentThread());
    EXPECT_EQ(TestFiles::ReadFile(path), before);
    EXPECT_FALSE(QFile::exists(path + "-journal") || QFile::exists(path + "-wal"));
}

// However quickly the first check ends, only the second one is told.
TEST_F(JournalCheckTest, AnotherStartDropsTheVerdictOfTheCheckBefore) {
    const QString tampered = Tampered("zmieniona.ser");
    const QString genuine = Series("seria.ser", 3);
    JournalCheck check;
    QSignalSpy spy(&check, &JournalCheck::Checked);
    for (int round = 0; round < 5; ++round) {
        spy.clear();
        check.Start(tampered);
        if (round % 2)
            QThread::msleep(20); // the first check has ended and queued its verdict
        check.Start(genuine);
        EXPECT_EQ(check.Path(), genuine);
        const auto told = Told(check, spy);
        ASSERT_EQ(told.size(), 1) << "round " << round;
        EXPECT_EQ(told[0][0].toString(), genuine) << "round " << round;
        EXPECT_EQ(told[0][1].value<SeriesJournal::Verification>().state, State::Verified)
            << "round " << round;
    }
}

TEST_F(JournalCheckTest, ACancelledCheckTellsNothing) {
    const QString path = Tampered("zmieniona.ser");
    JournalCheck check;
    QSignalSpy spy(&check, &JournalCheck::Checked);
    for (const int waitMs : {0, 20}) {
        check.Start(path);
        QThread::msleep(waitMs);
        check.Cancel();
        EXPECT_FALSE(check.Running());
        RunEventsFor(100);
        EXPECT_EQ(spy.size(), 0) << "after " << waitMs << " ms";
    }
    // Still usable afterwards.
    check.Start(path);
    const auto told = Told(check, spy);
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told[0][1].value<SeriesJournal::Verification>().state, State::Broken);
}

// What cannot be read as a series is not vouched for, and says why.
TEST_F(JournalCheckTest, AFileThatCannotBeReadIsNotVerified) {
    TestFiles::WriteFile(folder.filePath("tekst.ser"), "Lp;Masa\r\n1;2\r\n");
    for (const char* name : {"tekst.ser", "brak.ser"}) {
        JournalCheck check;
        QSignalSpy spy(&check, &JournalCheck::Checked);
        check.Start(folder.filePath(name));
        const auto told = Told(check, spy);
        ASSERT_EQ(told.size(), 1) << name;
        const auto verdict = told[0][1].value<SeriesJournal::Verification>();
        EXPECT_EQ(verdict.state, State::Broken) << name;
        EXPECT_FALSE(verdict.where.isEmpty()) << name;
    }
    EXPECT_FALSE(QFile::exists(folder.filePath("brak.ser")));
}

} // namespace
