#pragma once

// A program pkgtool runs and waits for (osslsigncode): in a session of its own, so that
// it has no terminal to ask a password on and hears no Ctrl-C but pkgtool's, and killed
// by the system when pkgtool ends, however pkgtool ends, so that it cannot write into
// a medium afterwards. Only the Linux build (PKGTOOL_SIGNING) has it.

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

class CStopSignals;

class CChildProcess
{
public:
    // A descriptor of this process that the program gets as another number.
    using Passed = std::pair<int, int>; // (the program's number, this process's descriptor)

    CChildProcess() = default;
    // Ends a program that still runs.
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts args[0], found in PATH, without the variable `hidden` in its environment,
    // its standard input /dev/null and its output collected. False, with errno, when it
    // cannot be started.
    bool Start(const std::vector<std::string>& args, const std::string& hidden,
               const std::vector<Passed>& passed);

    enum class Outcome
    {
        Exited,  // `*exitCode`: its exit status, or 128 and the signal that ended it
        Stopped, // `stops` heard a stop first, and the program was ended
    };
    // Collects its standard output and error until it exits.
    Outcome Wait(const CStopSignals* stops, std::string* output, int* exitCode);

    // Asks the program (and whatever it started) to end, kills it when it has not after a
    // short grace, and reaps it.
    void End();

private:
    bool Reaped(int* status);
    void CloseOutput();

    pid_t m_pid = -1;
    int m_output = -1;
};
