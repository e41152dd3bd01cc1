#pragma once

namespace BalanceSim {

// The ways the instrument can be told to misbehave, shared by all endpoints.
struct Behaviour {
    static constexpr int DefaultSplitPauseMs = 200;

    // Commands are ignored altogether: no reply and no effect.
    bool noReply = false;
    // Every reply leaves this long after its command arrived.
    int delayMs = 0;
    // Every reply leaves in two pieces with this pause between them.
    bool split = false;
    int splitPauseMs = DefaultSplitPauseMs;
};

} // namespace BalanceSim
