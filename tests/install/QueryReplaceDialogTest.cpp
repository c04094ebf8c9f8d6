#include "InstallTestSupport.h"
#include "ui/DLG_QueryReplace.h"

#include <gtest/gtest.h>

namespace
{
using namespace InstallTest;

struct OutcomeCase
{
    const char* what;
    Answer answer;
    INT_PTR result;
    int yesToAll;
    int no;
};

TEST(QueryReplaceDialogTest, EveryWayOfAnsweringEndsAsDescribed)
{
    const OutcomeCase cases[] = {
        {"Yes", Answer::Yes, IDOK, 0, 0},
        {"Enter on the opened dialog", Answer::Enter, IDOK, 0, 0},
        {"Yes To All", Answer::YesToAll, IDOK, 1, 0},
        {"No", Answer::No, IDCANCEL, 0, 1},
        {"Cancel", Answer::Cancel, IDCANCEL, 0, 0},
        {"Esc", Answer::Escape, IDCANCEL, 0, 0},
        {"close box", Answer::Close, IDCANCEL, 0, 0},
    };
    for (const OutcomeCase& c : cases)
    {
        DLG_QueryReplace dlg;
        EXPECT_EQ(dlg.m_bYesToAll, 0);
        EXPECT_EQ(dlg.m_bNo, 0);
        dlg.m_strQuestion = std::string("Line one\nLine two for ") + c.what;
        CDialogAnswerer answerer({c.answer});
        EXPECT_EQ(dlg.DoModal(), c.result) << c.what;
        EXPECT_EQ(dlg.m_bYesToAll, c.yesToAll) << c.what;
        EXPECT_EQ(dlg.m_bNo, c.no) << c.what;
        const std::vector<std::string> questions = answerer.Questions();
        ASSERT_EQ(questions.size(), 1u) << c.what;
        EXPECT_EQ(questions[0], dlg.m_strQuestion) << c.what;
    }
}
} // namespace
