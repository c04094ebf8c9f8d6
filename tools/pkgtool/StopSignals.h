#pragma once

// Ctrl-C, a hang-up or a request to terminate (SIGINT, SIGHUP, SIGTERM), heard while
// pkgtool waits on a program it started, so that it can end the program and clean up
// before it ends itself. Only the Linux build (PKGTOOL_SIGNING) has it.

class CStopSignals
{
public:
    // Catches the stops this process does not ignore (nohup's SIGHUP stays ignored). One
    // at a time.
    CStopSignals();
    // Gives the stops their former handling back.
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // Readable once a stop has arrived, for poll().
    int Descriptor() const;
    // The first stop that arrived; 0 while none has.
    int Arrived() const;
    // Ends this process as the stop would have ended it, so that a shell sees it was
    // stopped: the signal's own action, or, should it not end the process, its exit status.
    [[noreturn]] void EndAsStopped() const;
};
