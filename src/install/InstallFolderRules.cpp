#include "install/InstallFolderRules.h"

#include "install/PathNames.h"

#include <map>

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

// The first guarded folder that `folder` is or holds.
bool FirstGuarded(const std::u16string& folder, const std::vector<std::u16string>& guarded,
                  size_t* which)
{
    for (size_t i = 0; i < guarded.size(); ++i)
    {
        if (!guarded[i].empty() && PathNames::IsSameOrBelow(guarded[i], folder))
        {
            if (which)
            {
                *which = i;
            }
            return true;
        }
    }
    return false;
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
    return FirstGuarded(folder, guarded, which) ? Verdict::GuardedFolder : Verdict::Accepted;
}

std::vector<std::u16string> FolderAndAncestors(const std::u16string& folder)
{
    std::vector<std::u16string> chain;
    std::u16string path = PathNames::Canonical(folder);
    // Canonical drops a root's last separator ("C:"), which alone would name the drive's
    // current folder: roots keep it here.
    const std::u16string::size_type root = FullRoot(path + u"\\");
    if (root == 0)
    {
        return chain;
    }
    while (path.size() > root)
    {
        chain.push_back(path);
        path.erase(path.find_last_of(u'\\'));
    }
    chain.push_back(path.substr(0, root) + u"\\");
    return chain;
}

Verdict JudgeOnDisk(const std::u16string& folder, const std::vector<std::u16string>& guarded,
                    const Look& look, size_t* which, uint32_t* error)
{
    const Verdict byText = Judge(folder, guarded, which);
    if (byText != Verdict::Accepted)
    {
        return byText;
    }
    // Each folder is looked at once: the guarded folders share their drive and more.
    std::map<std::u16string, Seen> seen;
    auto at = [&](const std::u16string& path) -> const Seen&
    {
        auto found = seen.find(path);
        if (found == seen.end())
        {
            found = seen.emplace(path, look(path)).first;
        }
        return found->second;
    };
    // The guarded folders and every folder above them, by what the disk calls them; for a
    // guarded folder that really lies elsewhere (it or a folder above it is a link), the
    // folders above where it lies as well, or a folder holding it there would pass.
    std::vector<std::u16string> places; // each guarded folder as written and where it lies
    std::vector<size_t> placeOf;        // the guarded folder each place stands for
    const Seen* unreadable = nullptr;   // a guarded folder that is there and cannot be read
    for (size_t i = 0; i < guarded.size(); ++i)
    {
        const std::vector<std::u16string> written = FolderAndAncestors(guarded[i]);
        for (const std::u16string& path : written)
        {
            at(path);
        }
        places.push_back(guarded[i]);
        placeOf.push_back(i);
        if (written.empty())
        {
            continue;
        }
        const Seen& self = at(written.front());
        if (self.state == Seen::State::Unreadable && !unreadable)
        {
            unreadable = &self;
        }
        const std::vector<std::u16string> real = FolderAndAncestors(self.real);
        if (!real.empty() && real.front() != written.front())
        {
            for (const std::u16string& path : real)
            {
                at(path);
            }
            places.push_back(real.front());
            placeOf.push_back(i);
        }
    }
    auto firstPlace = [&](const std::u16string& path)
    {
        size_t place = 0;
        if (!FirstGuarded(path, places, &place))
        {
            return false;
        }
        if (which)
        {
            *which = placeOf[place];
        }
        return true;
    };
    std::map<std::pair<uint32_t, uint64_t>, std::vector<std::u16string>> known;
    for (const auto& [path, disk] : seen)
    {
        if (disk.state == Seen::State::Known)
        {
            known[{disk.volume, disk.index}].push_back(path);
        }
    }
    const std::vector<std::u16string> chain = FolderAndAncestors(folder);
    for (const std::u16string& path : chain)
    {
        const Seen& disk = at(path);
        const auto same = known.find({disk.volume, disk.index});
        if (disk.state != Seen::State::Known || same == known.end())
        {
            continue;
        }
        // The typed folder as seen from that guarded side: the rest of its path below here.
        const std::u16string rest = chain.front().substr(path.size());
        for (const std::u16string& there : same->second)
        {
            if (firstPlace(there + u"\\" + rest))
            {
                return Verdict::GuardedFolder;
            }
        }
    }
    const Seen& self = at(chain.front());
    if (self.link)
    {
        return Verdict::Link;
    }
    if (self.state == Seen::State::Unreadable || unreadable)
    {
        if (error)
        {
            *error = self.state == Seen::State::Unreadable ? self.error : unreadable->error;
        }
        return Verdict::Unknown;
    }
    return Verdict::Accepted;
}
} // namespace InstallFolderRules
