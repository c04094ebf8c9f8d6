#include "framework/MessageText.h"

namespace MessageText
{
std::string Fill(const std::string& text, const std::vector<std::string>& args)
{
    std::string out;
    out.reserve(text.size());
    for (std::string::size_type i = 0; i < text.size(); ++i)
    {
        const char c = text[i];
        if (c == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9')
        {
            const std::size_t index = static_cast<std::size_t>(text[i + 1] - '1');
            if (index < args.size())
            {
                out += args[index];
            }
            ++i;
            continue;
        }
        out += c;
    }
    return out;
}
} // namespace MessageText
