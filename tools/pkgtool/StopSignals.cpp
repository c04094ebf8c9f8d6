#include "StopSignals.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace
{

const int kStops[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kStopCount = sizeof kStops / sizeof kStops[0];

// What the handler may touch: a flag and the write end of a pipe that wakes poll().
volatile sig_atomic_t g_arrived = 0;
int g_wake[2] = {-1, -1};
struct sigaction g_before[kStopCount];
bool g_caught[kStopCount] = {};

void OnStop(int stop)
{
    const int saved = errno;
    if (g_arrived == 0)
    {
        g_arrived = stop;
    }
    const char byte = 1;
    if (write(g_wake[1], &byte, 1) < 0)
    {
        // The pipe is full: poll() is awake already.
    }
    errno = saved;
}

} // namespace

CStopSignals::CStopSignals()
{
    g_arrived = 0;
    if (pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0)
    {
        g_wake[0] = g_wake[1] = -1;
    }
    struct sigaction action = {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kStopCount; ++i)
    {
        sigaction(kStops[i], nullptr, &g_before[i]);
        // A program started with a stop ignored (nohup, a background job) keeps ignoring it.
        g_caught[i] =
            g_before[i].sa_handler != SIG_IGN && sigaction(kStops[i], &action, nullptr) == 0;
    }
}

CStopSignals::~CStopSignals()
{
    for (int i = 0; i < kStopCount; ++i)
    {
        if (g_caught[i])
        {
            sigaction(kStops[i], &g_before[i], nullptr);
            g_caught[i] = false;
        }
    }
    for (int& end : g_wake)
    {
        if (end >= 0)
        {
            close(end);
            end = -1;
        }
    }
}

int CStopSignals::Descriptor() const
{
    return g_wake[0];
}

int CStopSignals::Arrived() const
{
    return g_arrived;
}

void CStopSignals::EndAsStopped() const
{
    const int stop = g_arrived != 0 ? g_arrived : SIGTERM;
    std::fflush(nullptr);
    std::signal(stop, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, stop);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    std::raise(stop);
    std::_Exit(128 + stop);
}
