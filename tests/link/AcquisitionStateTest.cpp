#include "AcquisitionState.h"

#include <gtest/gtest.h>

#include <string>

using Pomiar::AcquisitionState;
using Mode = AcquisitionState::Mode;

namespace {

// "E" or "D" for the menu item and for the button of each command, in the
// order Start, Stop, Pause, single read, continuous, unstable, tare, series.
std::string Shown(Mode mode, bool linkOpen, bool singleReadHeld) {
    std::string shown;
    for (const auto command : AcquisitionState::Commands) {
        const auto available = AcquisitionState::Available(command, mode, linkOpen, singleReadHeld);
        shown += available.menu ? 'E' : 'D';
        shown += available.button ? 'E' : 'D';
        shown += ' ';
    }
    return shown;
}

struct Row {
    Mode mode;
    bool linkOpen;
    bool singleReadHeld;
    const char* shown;
};

} // namespace

TEST(AcquisitionState, CommandsFollowTheModeAndTheLink) {
    const Row table[] = {
        //                                start stop pause read cont unst tare series
        {Mode::Idle, true, false, /*    */ "EE DD DD EE EE EE EE EE "},
        // Whatever the link did meanwhile: no second Start during automatic work.
        {Mode::Automatic, true, false, /**/ "DD EE EE DD DD DD EE EE "},
        {Mode::Paused, true, false, /*  */ "DD DD EE DD DD DD EE EE "},
        {Mode::Continuous, true, false, "ED DD DD EE EE EE EE DD "},
        // A closed link takes every command that asks the balance.
        {Mode::Idle, false, false, /*   */ "DD DD DD DD DD EE DD EE "},
        {Mode::Automatic, false, false, "DD EE EE DD DD DD DD EE "},
        {Mode::Paused, false, false, /* */ "DD DD EE DD DD DD DD EE "},
        // After a Stop with cycle work on, single reads wait for the link.
        {Mode::Idle, true, true, /*     */ "EE DD DD DD EE EE EE EE "},
    };
    for (const Row& row : table)
        EXPECT_EQ(Shown(row.mode, row.linkOpen, row.singleReadHeld), row.shown)
            << "mode " << int(row.mode) << ", link " << row.linkOpen << ", held "
            << row.singleReadHeld;
}

TEST(AcquisitionState, AnOpenLinkReportReleasesHeldSingleReads) {
    AcquisitionState state;
    state.LinkReported(true);
    state.HoldSingleRead();
    EXPECT_EQ(state.Available(AcquisitionState::Command::SingleRead),
              (AcquisitionState::Availability{false, false}));
    state.LinkReported(false);
    EXPECT_TRUE(state.SingleReadHeld());
    state.LinkReported(true);
    EXPECT_FALSE(state.SingleReadHeld());
    EXPECT_EQ(state.Available(AcquisitionState::Command::SingleRead),
              (AcquisitionState::Availability{true, true}));
}
