#pragma once

#include <functional>

// Runs the event loop until the condition holds or timeoutMs pass; answers
// the condition's last value.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 3000);

// Runs the event loop for ms milliseconds.
void RunEventsFor(int ms);
