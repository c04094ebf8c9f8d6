#include "install/UninstallRules.h"

#include <cctype>
#include <vector>

namespace UninstallRules
{
namespace
{
bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsDriveLetter(const std::string& text, std::string::size_type at)
{
    return text.size() >= at + 2 && std::isalpha(static_cast<unsigned char>(text[at])) &&
           text[at + 1] == ':';
}

// Index of the first separator at or after `at`, or the text's length.
std::string::size_type SkipPart(const std::string& text, std::string::size_type at)
{
    while (at < text.size() && !IsSeparator(text[at]))
    {
        ++at;
    }
    return at;
}

std::string::size_type SkipSeparators(const std::string& text, std::string::size_type at)
{
    while (at < text.size() && IsSeparator(text[at]))
    {
        ++at;
    }
    return at;
}

// Length of the root that a path starts with: the part that names a drive, a
// share or a volume and can never be deleted. Sets `absolute` when the path does
// not depend on a current folder.
std::string::size_type RootLength(const std::string& path, bool& absolute)
{
    absolute = true;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))
    {
        std::string::size_type at = 2;
        // "\\?\" and "\\.\" lead a device or long-path name.
        if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && IsSeparator(path[3]))
        {
            at = SkipSeparators(path, 4);
            std::string::size_type end = SkipPart(path, at);
            std::string first = path.substr(at, end - at);
            for (char& c : first)
            {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
            if (first == "UNC" || first == "GLOBALROOT")
            {
                // \\?\UNC\server\share or \\?\GLOBALROOT\Device\HarddiskVolume1
                at = SkipPart(path, SkipSeparators(path, end));
                return SkipPart(path, SkipSeparators(path, at));
            }
            // \\?\C: or \\?\Volume{...}
            return end;
        }
        // \\server\share
        at = SkipPart(path, SkipSeparators(path, at));
        return SkipPart(path, SkipSeparators(path, at));
    }
    if (IsDriveLetter(path, 0))
    {
        // "C:name" is relative to the drive's current folder.
        absolute = path.size() > 2 && IsSeparator(path[2]);
        return 2;
    }
    if (!path.empty() && IsSeparator(path[0]))
    {
        absolute = false; // the root of whichever drive is current
        return 0;
    }
    absolute = false;
    return 0;
}

bool OnlyDotsAndSpaces(const std::string& part)
{
    for (char c : part)
    {
        if (c != '.' && c != ' ')
        {
            return false;
        }
    }
    return true;
}
} // namespace

bool IsDeletableInstallFolder(const std::string& folder)
{
    bool absolute = true;
    std::string::size_type at = RootLength(folder, absolute);
    int depth = 0;
    bool aboveStart = false;
    while (at < folder.size())
    {
        at = SkipSeparators(folder, at);
        const std::string::size_type end = SkipPart(folder, at);
        const std::string part = folder.substr(at, end - at);
        at = end;
        if (part.empty())
        {
            continue;
        }
        if (part == "..")
        {
            if (depth > 0)
            {
                --depth;
            }
            else if (!absolute)
            {
                aboveStart = true; // above the current folder: where is unknown
            }
            continue;
        }
        if (OnlyDotsAndSpaces(part))
        {
            continue;
        }
        ++depth;
    }
    // A relative path names a folder below wherever the uninstall happens to run.
    return absolute && depth > 0 && !aboveStart;
}
} // namespace UninstallRules
