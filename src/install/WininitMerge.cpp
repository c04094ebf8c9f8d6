#include "install/WininitMerge.h"

#include <algorithm>
#include <cctype>

namespace WininitMerge
{
namespace
{
const std::string::size_type kReadBuffer = 1024;

bool IsBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string Trim(const std::string& line)
{
    std::string::size_type first = 0;
    std::string::size_type last = line.size();
    while (first < last && IsBlank(line[first]))
    {
        ++first;
    }
    while (last > first && IsBlank(line[last - 1]))
    {
        --last;
    }
    return line.substr(first, last - first);
}

// `text` is `word` (given in lower case) but for letter case and surrounding blanks.
bool IsWord(const std::string& text, const std::string& word)
{
    const std::string trimmed = Trim(text);
    return trimmed.size() == word.size() &&
           std::equal(trimmed.begin(), trimmed.end(), word.begin(),
                      [](char c, char w)
                      { return std::tolower(static_cast<unsigned char>(c)) == w; });
}

bool IsRenameHeader(const std::string& line)
{
    return IsWord(line, "[rename]");
}
} // namespace

std::vector<std::string> SplitLines(const std::string& bytes)
{
    // A Ctrl-Z ends the text for every text-mode reader, the system's at boot among
    // them: what follows it is not read, and lines placed after it would never run.
    const std::string::size_type end = std::min(bytes.find('\x1A'), bytes.size());
    std::string text;
    text.reserve(end);
    for (std::string::size_type i = 0; i < end; ++i)
    {
        if (bytes[i] == '\r' && i + 1 < end && bytes[i + 1] == '\n')
        {
            continue;
        }
        text += bytes[i];
    }

    std::vector<std::string> lines;
    std::string::size_type pos = 0;
    while (pos < text.size())
    {
        // One read: up to and including a line feed, at most kReadBuffer - 1 characters.
        std::string::size_type end = text.find('\n', pos);
        std::string::size_type take = end == std::string::npos ? text.size() - pos : end - pos + 1;
        if (take > kReadBuffer - 1)
        {
            take = kReadBuffer - 1;
        }
        std::string line = text.substr(pos, take);
        pos += take;
        if (!line.empty() && line.back() == '\n')
        {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
    {
        text += line;
        text += "\r\n";
    }
    return text;
}

void Merge(std::vector<std::string>& lines, const std::vector<std::string>& renames)
{
    std::vector<std::string>::size_type insertAt = lines.size();
    std::vector<std::string>::size_type header = 0;
    while (header < lines.size() && !IsRenameHeader(lines[header]))
    {
        ++header;
    }
    if (header == lines.size())
    {
        lines.push_back("[rename]");
        insertAt = lines.size();
    }
    else
    {
        std::vector<std::string>::size_type i = header + 1;
        while (i < lines.size())
        {
            const std::string trimmed = Trim(lines[i]);
            if (trimmed.empty())
            {
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            if (trimmed[0] == '[')
            {
                break;
            }
            ++i;
        }
        insertAt = i;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), renames.begin(),
                 renames.end());
}

std::vector<Rename> Renames(const std::vector<std::string>& lines)
{
    std::vector<Rename> renames;
    bool inRename = false;
    for (const std::string& line : lines)
    {
        const std::string text = Trim(line);
        if (!text.empty() && text[0] == '[')
        {
            inRename = IsRenameHeader(text);
            continue;
        }
        const std::string::size_type equals = text.find('=');
        if (inRename && equals != std::string::npos)
        {
            const std::string target = Trim(text.substr(0, equals));
            renames.push_back({target, Trim(text.substr(equals + 1)), IsWord(target, "nul")});
        }
    }
    return renames;
}

namespace
{
// The right-hand sides of the [rename] lines that delete (`deletions`) or move.
std::vector<std::string> Sources(const std::vector<std::string>& lines, bool deletions)
{
    std::vector<std::string> sources;
    for (const Rename& rename : Renames(lines))
    {
        if (rename.deletes == deletions)
        {
            sources.push_back(rename.source);
        }
    }
    return sources;
}
} // namespace

std::vector<std::string> MoveSources(const std::vector<std::string>& lines)
{
    return Sources(lines, false);
}

std::vector<std::string> Deletions(const std::vector<std::string>& lines)
{
    return Sources(lines, true);
}
} // namespace WininitMerge
