#include "controlsignals.h"

#include <pthread.h>
#include <signal.h>

#include <initializer_list>

namespace {

sigset_t controlSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
        sigaddset(&set, signal);
    return set;
}

} // namespace

namespace controlsignals {

void block()
{
    const sigset_t set = controlSet();
    // Threads started later inherit the mask.
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

Command wait()
{
    const sigset_t set = controlSet();
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
    switch (signal) {
    case SIGUSR1:
        return Command::StopServing;
    case SIGUSR2:
        return Command::Serve;
    default:
        return Command::Quit;
    }
}

} // namespace controlsignals
