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

Seen NotOpened(bool link, uint32_t error)
{
    Seen seen;
    seen.link = link;
    const bool gone = link && (error == 2 || error == 3); // ERROR_FILE/PATH_NOT_FOUND
    seen.state = gone ? Seen::State::Missing : Seen::State::Unreadable;
    seen.error = gone ? 0 : (error != 0 ? error : 31); // ERROR_GEN_FAILURE: never no reason
    return seen;
}

namespace
{
// Where a folder that cannot be read may lie, as far as the folders above it tell.
struct Whereabouts
{
    bool remote = false;    // on the network, or behind a link that may lead there
    bool hasVolume = false; // the volume of the nearest folder above it that can be read
    uint32_t volume = 0;
};
} // namespace

OnDisk JudgeOnDisk(const std::u16string& folder, const std::vector<std::u16string>& guarded,
                   const Look& look, const IsRemote& remote)
{
    OnDisk result;
    result.verdict = Judge(folder, guarded, &result.which);
    if (result.verdict != Verdict::Accepted)
    {
        return result;
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
    auto onNetwork = [&](const std::vector<std::u16string>& way)
    {
        const std::u16string& root = way.back();
        return root.compare(0, 2, u"\\\\") == 0 || (remote && remote(root));
    };
    auto whereabouts = [&](const std::vector<std::u16string>& way)
    {
        Whereabouts where;
        where.remote = onNetwork(way);
        for (const std::u16string& path : way)
        {
            const Seen& disk = at(path);
            if (disk.state == Seen::State::Known)
            {
                where.hasVolume = true;
                where.volume = disk.volume;
                break;
            }
            // A link that cannot be followed may lead anywhere, the network included.
            if (disk.link)
            {
                where.remote = true;
                break;
            }
        }
        return where;
    };

    // The folder's own way first: on a local disk it costs no look on the network.
    const std::vector<std::u16string> chain = FolderAndAncestors(folder);
    bool passesLink = false;
    for (const std::u16string& path : chain)
    {
        passesLink = passesLink || at(path).link;
    }
    const Whereabouts here = whereabouts(chain);
    const bool network = here.remote || passesLink;

    // The guarded folders and every folder above them, by what the disk calls them; for a
    // guarded folder that really lies elsewhere (it or a folder above it is a link), the
    // folders above where it lies as well, or a folder holding it there would pass. Those on
    // the network are looked at only for a folder that may lie there too.
    std::vector<std::u16string> places;      // each guarded folder as written and where it lies
    std::vector<size_t> placeOf;             // the guarded folder each place stands for
    const std::u16string* blocker = nullptr; // a guarded folder that could be it, unreadable
    uint32_t blockerError = 0;
    for (size_t i = 0; i < guarded.size(); ++i)
    {
        places.push_back(guarded[i]);
        placeOf.push_back(i);
        const std::vector<std::u16string> written = FolderAndAncestors(guarded[i]);
        if (written.empty() || (!network && onNetwork(written)))
        {
            continue;
        }
        for (const std::u16string& path : written)
        {
            at(path);
        }
        const Seen& self = at(written.front());
        if (self.state == Seen::State::Unreadable && !blocker)
        {
            const Whereabouts there = whereabouts(written);
            if (passesLink || (here.remote && there.remote) ||
                (here.hasVolume && there.hasVolume && here.volume == there.volume))
            {
                blocker = &guarded[i];
                blockerError = self.error;
            }
        }
        const std::vector<std::u16string> real = FolderAndAncestors(self.real);
        if (!real.empty() && real.front() != written.front())
        {
            places.push_back(real.front());
            placeOf.push_back(i);
            if (network || !onNetwork(real))
            {
                for (const std::u16string& path : real)
                {
                    at(path);
                }
            }
        }
    }
    auto firstPlace = [&](const std::u16string& path)
    {
        size_t place = 0;
        if (!FirstGuarded(path, places, &place))
        {
            return false;
        }
        result.which = placeOf[place];
        return true;
    };
    // A file index of 0 is no identity: every folder of such a volume would share it.
    auto identified = [](const Seen& disk)
    { return disk.state == Seen::State::Known && disk.index != 0; };
    std::map<std::pair<uint32_t, uint64_t>, std::vector<std::u16string>> known;
    for (const auto& [path, disk] : seen)
    {
        if (identified(disk))
        {
            known[{disk.volume, disk.index}].push_back(path);
        }
    }
    for (const std::u16string& path : chain)
    {
        const Seen& disk = at(path);
        const auto same = known.find({disk.volume, disk.index});
        if (!identified(disk) || same == known.end())
        {
            continue;
        }
        // The typed folder as seen from that guarded side: the rest of its path below here.
        const std::u16string rest = chain.front().substr(path.size());
        for (const std::u16string& there : same->second)
        {
            if (firstPlace(there + u"\\" + rest))
            {
                result.verdict = Verdict::GuardedFolder;
                return result;
            }
        }
    }
    const Seen& self = at(chain.front());
    if (self.link)
    {
        result.verdict = Verdict::Link;
        return result;
    }
    // A drive or share that is not there (unplugged, not connected) may hold the folder all the
    // same: nothing can tell what it holds.
    const Seen& root = at(chain.back());
    if (root.state != Seen::State::Known)
    {
        result.verdict = Verdict::Unknown;
        result.error = root.state == Seen::State::Unreadable ? root.error : 3; // PATH_NOT_FOUND
        result.unreadable = chain.back();
    }
    else if (self.state == Seen::State::Unreadable || blocker)
    {
        result.verdict = Verdict::Unknown;
        const bool itself = self.state == Seen::State::Unreadable;
        result.error = itself ? self.error : blockerError;
        result.unreadable = itself ? folder : *blocker;
    }
    return result;
}
} // namespace InstallFolderRules
