#pragma once

namespace Pomiar {

// The cycle windows as automatic work consults them for each reading.
class CycleWindows {
public:
    enum class Result { Accept, Reject, EndOfCycle };
    virtual ~CycleWindows() = default;
    virtual Result Check(int elapsed) = 0;
    // Back on the first window, for the next run.
    virtual void LoadFirstRange() = 0;
};

} // namespace Pomiar
