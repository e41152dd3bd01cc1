#pragma once

#include "AcquisitionSession.h"
#include "EventWait.h"
#include "MeasurementStore.h"
#include "Mordal.h"
#include "ProgramContext.h"
#include "PtyPair.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

// The tests of the session speak its names.
using namespace Pomiar;

constexpr int balancePort = 7;

// The session on a balance at a pseudo-terminal, storing into a series of
// a scratch program folder. What it sends is seen through the traffic echo
// where only the command matters, and read at the balance's end where the
// link is the point.
class AcquisitionSessionTest : public ::testing::Test {
protected:
    AcquisitionSessionTest() {
        context.programFolder = folder.path();
        store.SetLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        store.OtworzMagazyn();
        balance.Publish(balancePort);
        session.Protocol().debugShow = true;
        session.Protocol().SetDebugSink(
            [this](const QString& text, const QString&) { sent += text; });
        QObject::connect(
            &session, &AcquisitionSession::ReplyHandled,
            [this](const AcquisitionSession::Reply& reply) { outcomes.push_back(reply.outcome); });
    }

    void SetUp() override {
        LinkSettings link;
        link.type = 2;
        link.comm = balancePort;
        ASSERT_TRUE(session.OpenLink(link));
        // A link that opens tells the balance to stop streaming and takes
        // nothing until it has been quiet.
        ASSERT_EQ(balance.Read(4), "C0\r\n");
        ASSERT_TRUE(WaitUntil([&] { return !session.DiscardingStream(); }, 3000));
        Sent();
    }

    // The commands sent since the last call, one per line.
    QString Sent() { return std::exchange(sent, QString()); }

    // The balance replies and the session handles it (or drops it).
    void Reply(const QByteArray& frame) {
        const size_t before = outcomes.size();
        balance.Write(frame);
        WaitUntil([&] { return outcomes.size() > before; }, 500);
    }

    // Cycle windows answering one result, counting the readings asked and
    // the rewinds.
    struct FixedCycle : CycleWindows {
        Result answer = Result::Accept;
        int checks = 0;
        int rangesLoaded = 0;
        Result Check(int) override {
            ++checks;
            return answer;
        }
        void LoadFirstRange() override { ++rangesLoaded; }
    };

    QTemporaryDir folder;
    ProgramContext context;
    MeasurementStore store{context};
    PtyPair balance;
    Mordal::Comm comm;
    AcquisitionSession session{context, &comm, store};
    QString sent;
    std::vector<AcquisitionSession::Outcome> outcomes;
};
