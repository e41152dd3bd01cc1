#include "Mordal.h"

#include <gtest/gtest.h>

TEST(ControlFactory, CreatesBothControlsByTypeName) {
    std::unique_ptr<QObject> comm(Mordal::CreateControl("Brisko_2.Comm"));
    std::unique_ptr<QObject> info(Mordal::CreateControl("Brisko_2.CommInfo"));
    EXPECT_NE(qobject_cast<Mordal::Comm*>(comm.get()), nullptr);
    EXPECT_NE(qobject_cast<Mordal::CommInfo*>(info.get()), nullptr);
    EXPECT_EQ(Mordal::CreateControl("Brisko_2.Other"), nullptr);
}
