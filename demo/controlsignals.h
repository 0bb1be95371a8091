#pragma once

// How another process steers the demo platform: SIGUSR1 stops serving,
// SIGUSR2 serves again, SIGINT and SIGTERM end the program.
namespace controlsignals {

enum class Command { Quit, StopServing, Serve };

// Keeps those signals from interrupting any thread, so that only wait() sees
// them. Must be called before the program starts a thread.
void block();
// Returns the next command.
Command wait();

} // namespace controlsignals
