#include "FaultState.h"

#include <cstdio>

namespace Fault
{
// A watchdog started while armed must not shift the count of the run it watches.
CWatchdog::CWatchdog(DWORD milliseconds, const std::string& what)
    : m_milliseconds(milliseconds), m_done(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_thread(nullptr)
{
    detail::CQuiet quiet;
    m_what = what;
    if (m_done)
    {
        m_thread = CreateThread(nullptr, 0, &CWatchdog::Watch, this, 0, nullptr);
    }
    if (!m_thread)
    {
        fprintf(stderr, "fault: the watchdog for %s could not start (error %lu)\n", m_what.c_str(),
                GetLastError());
    }
}

CWatchdog::~CWatchdog()
{
    Cancel();
    if (m_done)
    {
        CloseHandle(m_done);
    }
}

void CWatchdog::Cancel()
{
    if (m_thread)
    {
        SetEvent(m_done);
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
}

DWORD WINAPI CWatchdog::Watch(void* self)
{
    const auto* dog = static_cast<const CWatchdog*>(self);
    if (WaitForSingleObject(dog->m_done, dog->m_milliseconds) == WAIT_TIMEOUT)
    {
        fprintf(stderr,
                "fault: %s still running after %lu ms: taken as a hang, ending the process\n",
                dog->m_what.c_str(), dog->m_milliseconds);
        fflush(stderr);
        TerminateProcess(GetCurrentProcess(), kHangExitCode);
    }
    return 0;
}
} // namespace Fault
