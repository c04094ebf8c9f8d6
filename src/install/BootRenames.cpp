#include "install/BootRenames.h"

#include <cctype>

namespace BootRenames
{
namespace
{
bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
    {
        return false;
    }
    for (std::string::size_type i = 0; i < a.size(); ++i)
    {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
        {
            return false;
        }
    }
    return true;
}

std::string Trim(const std::string& text)
{
    std::string::size_type first = text.find_first_not_of(" \t\r\n");
    std::string::size_type last = text.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}
} // namespace

std::string NtForm(const std::string& path)
{
    return "\\??\\" + path;
}

bool WithdrawDelete(std::vector<std::string>& list, const std::string& target)
{
    if (list.size() < 2 || list.size() % 2 != 0 || !list.back().empty() ||
        !SameText(list[list.size() - 2], NtForm(target)))
    {
        return false;
    }
    list.resize(list.size() - 2);
    return true;
}

bool NtListMoves(const std::vector<std::string>& list, const std::string& source)
{
    for (std::vector<std::string>::size_type i = 0; i + 1 < list.size(); i += 2)
    {
        if (!list[i + 1].empty() && SameText(list[i], NtForm(source)))
        {
            return true;
        }
    }
    return false;
}

bool WininitMoves(const std::vector<std::string>& lines, const std::string& shortSource)
{
    bool inRename = false;
    for (const std::string& line : lines)
    {
        const std::string text = Trim(line);
        if (!text.empty() && text[0] == '[')
        {
            inRename = SameText(text, "[rename]");
            continue;
        }
        const std::string::size_type equals = text.find('=');
        if (inRename && equals != std::string::npos &&
            !SameText(Trim(text.substr(0, equals)), "NUL") &&
            SameText(Trim(text.substr(equals + 1)), shortSource))
        {
            return true;
        }
    }
    return false;
}
} // namespace BootRenames
