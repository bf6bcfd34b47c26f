#pragma once
// Process-wide state (singletons, platform facts) registers how to forget itself, so that
// the test fixture can give every test a fresh platform without knowing each component.
#include <functional>

namespace platform {

// Registers `reset`, called by resetForTesting() in registration order. Thread-safe.
// Register once, when the state is first created.
void onTestReset(std::function<void()> reset);
// Runs every registered reset. Test fixtures only.
void resetForTesting();

}  // namespace platform
