#include "framework/MessageText.h"

namespace MessageText
{
namespace
{
// The argument without the line break the system ends its reasons with (and the blanks
// before it), which would leave a line of its own in the box.
std::string::size_type KeptLength(const std::string& arg)
{
    const std::string::size_type last = arg.find_last_not_of("\r\n");
    if (last == std::string::npos || last + 1 == arg.size())
    {
        return last == std::string::npos ? 0 : arg.size();
    }
    const std::string::size_type text = arg.find_last_not_of(" \t\r\n");
    return text == std::string::npos ? 0 : text + 1;
}
} // namespace

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
            ++i;
            if (index >= args.size())
            {
                continue;
            }
            const std::string& arg = args[index];
            const std::string::size_type kept = KeptLength(arg);
            out.append(arg, 0, kept);
            // A reason's own full stop ends the sentence the text ends after it.
            if (kept < arg.size() && kept > 0 && arg[kept - 1] == '.' && i + 1 < text.size() &&
                text[i + 1] == '.')
            {
                ++i;
            }
            continue;
        }
        out += c;
    }
    return out;
}
} // namespace MessageText
