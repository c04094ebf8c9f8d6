#include "install/ReplaceRules.h"

#include "package/EntryText.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace ReplaceRules
{
Action Decide(bool targetExists, uint64_t oldVersion, uint64_t newVersion,
              const std::string& targetPath, bool askBeforeReplace)
{
    if (!targetExists)
    {
        return Action::Write;
    }
    if (newVersion != 0 && newVersion == oldVersion)
    {
        return Action::Keep;
    }
    if (oldVersion != 0)
    {
        if (newVersion > oldVersion || IsAlwaysReplaced(targetPath))
        {
            return Action::Write;
        }
        return Action::Keep;
    }
    return askBeforeReplace ? Action::Ask : Action::Write;
}

Answer AnswerFor(long long endCode, bool yesToAll, bool no)
{
    if (endCode == 2)
    {
        return no ? Answer::No : Answer::Cancel;
    }
    // A question that could not be shown was never answered: the user's file stays.
    if (endCode != 1)
    {
        return Answer::No;
    }
    return yesToAll ? Answer::YesToAll : Answer::Yes;
}

bool IsAlwaysReplaced(const std::string& targetPath)
{
    return targetPath.find("UX_W32.DLL") != std::string::npos ||
           targetPath.find("ux_w32.dll") != std::string::npos;
}

std::string VersionText(uint64_t version, const std::string& noVersionText)
{
    return version == 0 ? noVersionText : EntryText::Version(version);
}

std::string FormatFileTime(uint64_t fileTime)
{
    const EntryText::CivilTime time = EntryText::UtcFromFileTime(fileTime);
    char text[64];
    std::snprintf(text, sizeof(text), "%02u/%02u/%04lld %02u:%02u:%02u", time.day, time.month,
                  static_cast<long long>(time.year), time.hour, time.minute, time.second);
    return text;
}

std::string FolderOf(const std::string& path)
{
    const std::string::size_type slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string SingleSeparators(const std::string& path)
{
    std::string single;
    single.reserve(path.size());
    for (std::string::size_type i = 0; i < path.size(); ++i)
    {
        if (path[i] != '\\' || i < 2 || path[i - 1] != '\\')
        {
            single += path[i];
        }
    }
    return single;
}

std::string TempFileName(const std::string& folder, unsigned number)
{
    char name[32];
    std::snprintf(name, sizeof(name), "\\$tmp%04u.tmp", number);
    return folder + name;
}

std::string WithTrailingBackslash(const std::string& folder)
{
    if (!folder.empty() && folder.back() == '\\')
    {
        return folder;
    }
    return folder + "\\";
}
std::string AsShortName(const std::string& name)
{
    const std::string::size_type dot = name.find('.');
    const std::string base = name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || extension.size() > 3 ||
        (dot != std::string::npos && extension.empty()) || extension.find('.') != std::string::npos)
    {
        return std::string();
    }
    std::string upper;
    for (char c : name)
    {
        const unsigned char u = static_cast<unsigned char>(c);
        // Characters beyond ASCII depend on the OEM code page the boot-time rename reads in.
        if (u < 0x21 || u > 0x7E || std::strchr("\"*+,/:;<=>?[\\]|", c))
        {
            return std::string();
        }
        upper += static_cast<char>(std::toupper(u));
    }
    return upper;
}
} // namespace ReplaceRules
