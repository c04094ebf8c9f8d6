#include "install/BootRenames.h"

#include <cctype>

namespace BootRenames
{
namespace
{
std::string Trim(const std::string& text)
{
    std::string::size_type first = text.find_first_not_of(" \t\r\n");
    std::string::size_type last = text.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::string Upper(std::string text)
{
    for (char& c : text)
    {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}
} // namespace

std::vector<std::u16string> NtMoveSources(const std::vector<std::u16string>& list)
{
    std::vector<std::u16string> sources;
    for (std::vector<std::u16string>::size_type i = 0; i + 1 < list.size(); i += 2)
    {
        if (!list[i + 1].empty())
        {
            sources.push_back(list[i]);
        }
    }
    return sources;
}

std::vector<std::string> WininitMoveSources(const std::vector<std::string>& lines)
{
    std::vector<std::string> sources;
    bool inRename = false;
    for (const std::string& line : lines)
    {
        const std::string text = Trim(line);
        if (!text.empty() && text[0] == '[')
        {
            inRename = Upper(text) == "[RENAME]";
            continue;
        }
        const std::string::size_type equals = text.find('=');
        if (inRename && equals != std::string::npos && Upper(Trim(text.substr(0, equals))) != "NUL")
        {
            sources.push_back(Trim(text.substr(equals + 1)));
        }
    }
    return sources;
}
} // namespace BootRenames
