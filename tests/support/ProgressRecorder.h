// A progress report that remembers every text given to the two status lines, in
// order ("1:text", "2:text"), and passes each call on to a real window when given one.
#pragma once

#include "framework/ProgressReport.h"

#include <string>
#include <vector>

namespace TestSupport
{
class CProgressRecorder : public IProgressReport
{
public:
    explicit CProgressRecorder(IProgressReport* window = nullptr) : m_window(window) {}

    void SetStatus(UINT line1Id, UINT line2Id) override;
    void SetLine2(UINT id) override;
    void SetLine2Text(const std::string& text) override;

    std::vector<std::string> lines;

private:
    IProgressReport* m_window;
};
} // namespace TestSupport
