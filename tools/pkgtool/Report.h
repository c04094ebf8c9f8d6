#pragma once

// How pkgtool tells what went wrong, and its progress line. Messages go to
// standard error; the progress line shares it only when it is a terminal, and
// every message first clears the line.

#include <cstddef>
#include <string>

namespace Reporting
{

// "pkgtool: FILE: REASON", or "pkgtool: FILE: WHAT: REASON", with the text of
// the current last error. Returns false, for `return Report(...)`.
bool Report(const std::string& file, const std::string& what = std::string());
// "pkgtool: FILE: MESSAGE". Returns false.
bool ReportPlain(const std::string& file, const std::string& message);
// A folder that could not be listed whole: the member `bad` that stopped the listing
// (a link to a folder told as such), or the folder itself when `bad` is empty.
bool ReportListFailure(const std::string& folder, const std::string& bad);
// "pkgtool: FILE: MESSAGE" about something that does not fail the command.
void Note(const std::string& file, const std::string& message);

// One line on a terminal, rewritten in place; silent when standard error goes
// elsewhere. One at a time.
class Progress
{
public:
    Progress();
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Show(size_t done, size_t total, const std::string& what);
    void Clear();

private:
    bool m_enabled;
    size_t m_width = 0;
};

} // namespace Reporting
