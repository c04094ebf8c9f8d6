#include "ProgressRecorder.h"

#include "framework/Messages.h"

namespace TestSupport
{
void CProgressRecorder::SetStatus(UINT line1Id, UINT line2Id)
{
    lines.push_back("1:" + Messages::LoadText(line1Id));
    lines.push_back("2:" + Messages::LoadText(line2Id));
    if (m_window)
    {
        m_window->SetStatus(line1Id, line2Id);
    }
}

void CProgressRecorder::SetLine2(UINT id)
{
    lines.push_back("2:" + Messages::LoadText(id));
    if (m_window)
    {
        m_window->SetLine2(id);
    }
}

void CProgressRecorder::SetLine2Text(const std::string& text)
{
    lines.push_back("2:" + text);
    if (m_window)
    {
        m_window->SetLine2Text(text);
    }
}
} // namespace TestSupport
