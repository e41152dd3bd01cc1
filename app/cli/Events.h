#pragma once

#include <functional>

// Waiting on the one thread trevalo has: events keep running (the link's
// polls, timers, Ctrl+C) until a condition holds.
namespace Trevalo::Events {

// Runs events until done answers true or timeoutMs passed (negative: no
// limit); answers done's last answer.
bool RunUntil(const std::function<bool()>& done, int timeoutMs);

// From now on SIGINT and SIGTERM only set Interrupted and wake the wait.
// Verbs that run until interrupted call it first, before the link opens, so
// that a Ctrl+C at any moment ends them through their own end.
void CatchInterrupts();
bool Interrupted();

} // namespace Trevalo::Events
