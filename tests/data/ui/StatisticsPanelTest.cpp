#include "StatisticsPanel.h"

#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "StoreReply.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

class StatisticsPanelTest : public ::testing::Test {
protected:
    StatisticsPanelTest() {
        context.programFolder = folder.path();
        store.locale = QLocale(QLocale::English, QLocale::UnitedStates);
        store.OtworzMagazyn();
        panel.show();
    }

    bool Read(const QByteArray& frame) {
        return StoreReply(store, frame, QDateTime::currentDateTime(), false,
                          [](const QString& error) { ADD_FAILURE() << error.toStdString(); });
    }

    QTemporaryDir folder;
    ProgramContext context;
    MeasurementStore store{context};
    StatisticsPanel panel{context, store};
};

} // namespace

TEST_F(StatisticsPanelTest, LimitTypedButNotLeftAppliesToTheNextReading) {
    const struct {
        const char* name;
        QCheckBox* box;
        QLineEdit* text;
        const char* typed;
        QByteArray outside;
        QByteArray inside;
    } limits[] = {
        {"minimum", panel.ChMin, panel.txtMin, "10", "S      9.9999 g\r\n", "S     10.0000 g\r\n"},
        {"maximum", panel.ChMax, panel.txtMax, "1,5", "S      1.5001 g\r\n", "S      1.5000 g\r\n"},
    };
    for (const auto& limit : limits) {
        SCOPED_TRACE(limit.name);
        store.NowaSeria();
        limit.box->click();
        limit.text->selectAll();
        QTest::keyClicks(limit.text, QString::fromLatin1(limit.typed));
        ASSERT_EQ(limit.text->text(), limit.typed);

        EXPECT_FALSE(Read(limit.outside));
        EXPECT_TRUE(Read(limit.inside));
        EXPECT_EQ(store.RowCount(), 1);
        limit.box->click();
    }
}
