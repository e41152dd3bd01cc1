#include "StatisticsPanel.h"

#include "MeasurementStore.h"
#include "ProgramContext.h"

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
        store.SetLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        store.OtworzMagazyn();
        panel.show();
    }

    // Whether a reading of this value passes the limits as the store has them.
    bool Accepted(const QString& value) { return !store.Limits().Outside(value, store.Locale()); }

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
        QString outside;
        QString inside;
    } limits[] = {
        {"minimum", panel.ChMin, panel.txtMin, "10", "9.9999", "10.0000"},
        {"maximum", panel.ChMax, panel.txtMax, "1,5", "1.5001", "1.5000"},
    };
    for (const auto& limit : limits) {
        SCOPED_TRACE(limit.name);
        limit.box->click();
        limit.text->selectAll();
        QTest::keyClicks(limit.text, QString::fromLatin1(limit.typed));
        ASSERT_EQ(limit.text->text(), limit.typed);

        EXPECT_FALSE(Accepted(limit.outside));
        EXPECT_TRUE(Accepted(limit.inside));
        limit.box->click();
    }
}
