#include "install/InstallFolderRules.h"

#include "install/PathNames.h"

namespace InstallFolderRules
{
namespace
{
bool IsSeparator(char16_t c)
{
    return c == u'\\' || c == u'/';
}

bool IsLetter(char16_t c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// "X:\" or "\\server\share" at the start, server and share being plain names (not
// the "?" or "." of a device path); the length of that root, 0 when there is none.
std::u16string::size_type FullRoot(const std::u16string& path)
{
    if (path.size() >= 3 && IsLetter(path[0]) && path[1] == u':' && IsSeparator(path[2]))
    {
        return 2;
    }
    if (path.size() < 3 || !IsSeparator(path[0]) || !IsSeparator(path[1]) || IsSeparator(path[2]))
    {
        return 0;
    }
    std::u16string::size_type at = 2;
    for (int part = 0; part < 2; ++part)
    {
        const std::u16string::size_type start = at;
        while (at < path.size() && !IsSeparator(path[at]))
        {
            ++at;
        }
        const std::u16string name = path.substr(start, at - start);
        if (name.empty() || name == u"?" || name == u"." || name == u"..")
        {
            return 0;
        }
        if (part == 0)
        {
            if (at >= path.size())
            {
                return 0;
            }
            ++at; // one separator between server and share
        }
    }
    return at;
}
} // namespace

Verdict Judge(const std::u16string& folder, const std::vector<std::u16string>& guarded,
              size_t* which)
{
    const std::u16string::size_type root = FullRoot(folder);
    // Below the root there must be a name of its own once "." and ".." are resolved.
    if (root == 0 ||
        PathNames::Canonical(folder).size() <= PathNames::Canonical(folder.substr(0, root)).size())
    {
        return Verdict::NotFullPath;
    }
    for (size_t i = 0; i < guarded.size(); ++i)
    {
        if (!guarded[i].empty() && PathNames::IsSameOrBelow(guarded[i], folder))
        {
            if (which)
            {
                *which = i;
            }
            return Verdict::GuardedFolder;
        }
    }
    return Verdict::Accepted;
}
} // namespace InstallFolderRules
