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
    // Every client finds continuous transmission already on, as a balance
    // left streaming by a client that went away without switching it off.
    bool streamingAtConnect = false;
};

} // namespace BalanceSim
