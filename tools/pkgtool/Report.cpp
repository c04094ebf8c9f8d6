#include "Report.h"

#include <algorithm>
#include <cstdio>

#include "Platform.h"
#include "package/FileIo.h"

namespace Reporting
{

namespace
{
// The progress line now on the terminal, which a message clears first: the
// terminal is one for the whole process.
Progress* g_shownProgress = nullptr;

void ClearProgress()
{
    if (g_shownProgress != nullptr)
    {
        g_shownProgress->Clear();
    }
}
} // namespace

bool Report(const std::string& file, const std::string& what)
{
    const std::string reason = FileIo::ErrorText(FileIo::GetLastError());
    ClearProgress();
    if (what.empty())
    {
        std::fprintf(stderr, "pkgtool: %s: %s\n", file.c_str(), reason.c_str());
    }
    else
    {
        std::fprintf(stderr, "pkgtool: %s: %s: %s\n", file.c_str(), what.c_str(), reason.c_str());
    }
    return false;
}

bool ReportPlain(const std::string& file, const std::string& message)
{
    Note(file, message);
    return false;
}

bool ReportListFailure(const std::string& folder, const std::string& bad)
{
    if (bad.empty())
    {
        return Report(folder);
    }
    if (FileIo::GetLastError() == FileIo::kErrorNotSupported)
    {
        return ReportPlain(Platform::JoinPath(folder, bad),
                           "not a file or folder (links to folders are not followed)");
    }
    return Report(Platform::JoinPath(folder, bad));
}

void Note(const std::string& file, const std::string& message)
{
    ClearProgress();
    std::fprintf(stderr, "pkgtool: %s: %s\n", file.c_str(), message.c_str());
}

Progress::Progress() : m_enabled(Platform::StderrIsTerminal())
{
    if (m_enabled)
    {
        g_shownProgress = this;
    }
}

Progress::~Progress()
{
    Clear();
    if (g_shownProgress == this)
    {
        g_shownProgress = nullptr;
    }
}

void Progress::Show(size_t done, size_t total, const std::string& what)
{
    if (!m_enabled)
    {
        return;
    }
    std::string line = "[" + std::to_string(done) + "/" + std::to_string(total) + "] " + what;
    if (line.size() > 78)
    {
        line = line.substr(0, 75) + "...";
    }
    std::fprintf(stderr, "\r%-*s", static_cast<int>(m_width), line.c_str());
    std::fflush(stderr);
    m_width = std::max(m_width, line.size());
}

void Progress::Clear()
{
    if (m_enabled && m_width != 0)
    {
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(m_width), "");
        std::fflush(stderr);
        m_width = 0;
    }
}

} // namespace Reporting
