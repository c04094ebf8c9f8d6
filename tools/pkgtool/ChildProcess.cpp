#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "StopSignals.h"

extern char** environ;

namespace
{

// How long a program told to end has before it is killed.
constexpr int kGraceMilliseconds = 2000;
// How often a program whose output has ended is looked at until it has exited.
constexpr int kLookMilliseconds = 50;

const int kStops[] = {SIGINT, SIGTERM, SIGHUP};

void CloseQuietly(int& descriptor)
{
    if (descriptor >= 0)
    {
        close(descriptor);
        descriptor = -1;
    }
}

// The child between fork and exec: only calls that are safe there. `failure` takes the
// reason when the program cannot be started.
[[noreturn]] void Become(char* const* argv, char* const* envp, int output,
                         const std::vector<CChildProcess::Passed>& passed, pid_t parent,
                         int failure)
{
    // pkgtool's handlers are not the program's; a stop pkgtool was told to ignore stays so.
    for (int stop : kStops)
    {
        struct sigaction now;
        if (sigaction(stop, nullptr, &now) == 0 && now.sa_handler != SIG_IGN)
        {
            signal(stop, SIG_DFL);
        }
    }
    // It dies with pkgtool, which may have ended before it could ask for that.
    int error = 0;
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent)
    {
        _exit(127);
    }
    setsid();
    const int nothing = open("/dev/null", O_RDONLY);
    if (nothing < 0 || dup2(nothing, 0) < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0)
    {
        error = errno;
    }
    for (const CChildProcess::Passed& pass : passed)
    {
        // dup2 onto itself would keep the close-on-exec flag.
        if (error == 0 && (pass.first == pass.second ? fcntl(pass.first, F_SETFD, 0)
                                                     : dup2(pass.second, pass.first)) < 0)
        {
            error = errno;
        }
    }
    if (error == 0)
    {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execvpe(argv[0], argv, envp);
        error = errno;
    }
    if (write(failure, &error, sizeof error) < 0)
    {
        // pkgtool reads the end of the pipe as a failure all the same.
    }
    _exit(127);
}

} // namespace

CChildProcess::~CChildProcess()
{
    End();
}

bool CChildProcess::Start(const std::vector<std::string>& args, const std::string& hidden,
                          const std::vector<Passed>& passed)
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
    {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const std::string prefix = hidden + "=";
    std::vector<char*> envp;
    for (char** variable = environ; *variable != nullptr; ++variable)
    {
        if (hidden.empty() || std::strncmp(*variable, prefix.c_str(), prefix.size()) != 0)
        {
            envp.push_back(*variable);
        }
    }
    envp.push_back(nullptr);

    int output[2] = {-1, -1};
    int failure[2] = {-1, -1};
    if (pipe2(output, O_CLOEXEC) != 0 || pipe2(failure, O_CLOEXEC) != 0)
    {
        const int saved = errno;
        CloseQuietly(output[0]);
        CloseQuietly(output[1]);
        errno = saved;
        return false;
    }
    // No handler of this process runs in the child before it has dropped them.
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    sigprocmask(SIG_SETMASK, &all, &before);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0)
    {
        Become(argv.data(), envp.data(), output[1], passed, parent, failure[1]);
    }
    const int forkError = errno;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    CloseQuietly(output[1]);
    CloseQuietly(failure[1]);
    if (pid < 0)
    {
        CloseQuietly(output[0]);
        CloseQuietly(failure[0]);
        errno = forkError;
        return false;
    }
    m_pid = pid;
    m_output = output[0];
    // The pipe ends without a word when the program has started.
    int error = 0;
    ssize_t got;
    while ((got = read(failure[0], &error, sizeof error)) < 0 && errno == EINTR)
    {
    }
    CloseQuietly(failure[0]);
    if (got != 0)
    {
        int status = 0;
        while (!Reaped(&status))
        {
            poll(nullptr, 0, kLookMilliseconds);
        }
        CloseOutput();
        errno = got == sizeof error && error != 0 ? error : ECHILD;
        return false;
    }
    return true;
}

bool CChildProcess::Reaped(int* status)
{
    if (m_pid <= 0)
    {
        return true;
    }
    const pid_t done = waitpid(m_pid, status, WNOHANG);
    if (done == 0 || (done < 0 && errno == EINTR))
    {
        return false;
    }
    if (done < 0)
    {
        *status = -1; // already reaped by someone else: what it said is lost
    }
    m_pid = -1;
    return true;
}

void CChildProcess::CloseOutput()
{
    CloseQuietly(m_output);
}

CChildProcess::Outcome CChildProcess::Wait(const CStopSignals* stops, std::string* output,
                                           int* exitCode)
{
    int status = 0;
    for (;;)
    {
        if (stops != nullptr && stops->Arrived() != 0)
        {
            End();
            return Outcome::Stopped;
        }
        if (m_output < 0 && Reaped(&status))
        {
            break;
        }
        // Its output ends as it exits, and a stop wakes this too; after the output has
        // ended, the program is looked at now and then until it has exited.
        pollfd ready[2] = {{m_output, POLLIN, 0},
                           {stops != nullptr ? stops->Descriptor() : -1, POLLIN, 0}};
        if (poll(ready, 2, m_output >= 0 ? -1 : kLookMilliseconds) > 0 && ready[0].revents != 0)
        {
            char buffer[4096];
            const ssize_t got = read(m_output, buffer, sizeof buffer);
            if (got > 0)
            {
                output->append(buffer, static_cast<size_t>(got));
            }
            else if (got == 0 || errno != EINTR)
            {
                CloseOutput();
            }
        }
    }
    *exitCode = status < 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return Outcome::Exited;
}

void CChildProcess::End()
{
    if (m_pid > 0)
    {
        // Its session's group holds whatever it started too.
        if (kill(-m_pid, SIGTERM) != 0)
        {
            kill(m_pid, SIGTERM);
        }
        int status = 0;
        for (int waited = 0; !Reaped(&status); waited += kLookMilliseconds)
        {
            if (waited >= kGraceMilliseconds)
            {
                kill(-m_pid, SIGKILL);
                kill(m_pid, SIGKILL);
                while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR)
                {
                }
                m_pid = -1;
                break;
            }
            poll(nullptr, 0, kLookMilliseconds);
        }
    }
    CloseOutput();
}
