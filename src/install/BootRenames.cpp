#include "install/BootRenames.h"

#include "install/PathNames.h"

namespace BootRenames
{
namespace
{
std::vector<std::u16string> Sources(const std::vector<std::u16string>& list, bool deletions)
{
    std::vector<std::u16string> sources;
    for (const Op& op : NtOps(list))
    {
        if (op.target.empty() == deletions)
        {
            sources.push_back(op.source);
        }
    }
    return sources;
}

bool Names(const std::vector<std::u16string>& names, const std::u16string& path)
{
    for (const std::u16string& name : names)
    {
        if (!name.empty() && PathNames::SameFile(name, path))
        {
            return true;
        }
    }
    return false;
}
} // namespace

std::vector<Op> NtOps(const std::vector<std::u16string>& list)
{
    std::vector<Op> ops;
    for (std::vector<std::u16string>::size_type i = 0; i + 1 < list.size(); i += 2)
    {
        const std::u16string& target = list[i + 1];
        ops.push_back({list[i], !target.empty() && target[0] == u'!' ? target.substr(1) : target});
    }
    return ops;
}

std::vector<std::u16string> NtMoveSources(const std::vector<std::u16string>& list)
{
    return Sources(list, false);
}

std::vector<std::u16string> NtDeletions(const std::vector<std::u16string>& list)
{
    return Sources(list, true);
}

bool EndsMovedOnto(const std::vector<Op>& ops, const std::vector<std::u16string>& names)
{
    bool movedOnto = false;
    for (const Op& op : ops)
    {
        if (Names(names, op.source))
        {
            movedOnto = false; // deleted, or moved away
        }
        if (!op.target.empty() && Names(names, op.target))
        {
            movedOnto = true;
        }
    }
    return movedOnto;
}
} // namespace BootRenames
