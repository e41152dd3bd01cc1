#pragma once

namespace Pomiar {

// What acquisition is doing, and from that and the link alone, which of its
// commands the user may run. The main window keeps no state of its own in
// its menus: it shows what this answers.
class AcquisitionState {
public:
    enum class Mode { Idle, Automatic, Paused, Continuous };

    // The commands whose availability follows acquisition. Series is the
    // group of series commands (new, open, save, print, report, chart) that
    // continuous transmission holds back.
    enum class Command { Start, Stop, Pause, SingleRead, Continuous, Unstable, Tare, Series };
    static constexpr Command Commands[] = {
        Command::Start,      Command::Stop,     Command::Pause, Command::SingleRead,
        Command::Continuous, Command::Unstable, Command::Tare,  Command::Series};

    // A menu item and its toolbar button may differ: during continuous
    // transmission Start stays in the menu but not on the toolbar.
    struct Availability {
        bool menu = false;
        bool button = false;
        bool operator==(const Availability&) const = default;
    };

    // singleReadHeld: with cycle work on, a Stop holds single reads back
    // until the link next reports that it is open.
    static Availability Available(Command command, Mode mode, bool linkOpen, bool singleReadHeld);

    Mode CurrentMode() const { return mode; }
    bool LinkOpen() const { return linkOpen; }
    bool SingleReadHeld() const { return singleReadHeld; }
    Availability Available(Command command) const {
        return Available(command, mode, linkOpen, singleReadHeld);
    }

    void SetMode(Mode value) { mode = value; }
    void LinkReported(bool open);
    void HoldSingleRead() { singleReadHeld = true; }

private:
    Mode mode = Mode::Idle;
    bool linkOpen = false;
    bool singleReadHeld = false;
};

} // namespace Pomiar
