#include "AcquisitionState.h"

namespace Pomiar {

namespace {

using Availability = AcquisitionState::Availability;
using Command = AcquisitionState::Command;
using Mode = AcquisitionState::Mode;

constexpr Availability both{true, true};
constexpr Availability neither{false, false};

Availability byMode(Command command, Mode mode) {
    switch (command) {
    case Command::Start:
        return mode == Mode::Idle         ? both
               : mode == Mode::Continuous ? Availability{true, false}
                                          : neither;
    case Command::Stop:
        return mode == Mode::Automatic ? both : neither;
    case Command::Pause:
        return mode == Mode::Automatic || mode == Mode::Paused ? both : neither;
    case Command::SingleRead:
    case Command::Continuous:
    case Command::Unstable:
        return mode == Mode::Idle || mode == Mode::Continuous ? both : neither;
    case Command::Tare:
        return both;
    case Command::Series:
        return mode == Mode::Continuous ? neither : both;
    }
    return neither;
}

// The commands that ask the balance for something need an open link.
bool needsLink(Command command) {
    return command == Command::Start || command == Command::SingleRead ||
           command == Command::Continuous || command == Command::Tare;
}

} // namespace

Availability AcquisitionState::Available(Command command, Mode mode, bool linkOpen,
                                         bool singleReadHeld) {
    if (needsLink(command) && !linkOpen)
        return neither;
    if (command == Command::SingleRead && singleReadHeld)
        return neither;
    return byMode(command, mode);
}

void AcquisitionState::LinkReported(bool open) {
    linkOpen = open;
    if (open)
        singleReadHeld = false;
}

} // namespace Pomiar
