#include "install/BootRenames.h"

namespace BootRenames
{
namespace
{
std::vector<std::u16string> Sources(const std::vector<std::u16string>& list, bool deletions)
{
    std::vector<std::u16string> sources;
    for (std::vector<std::u16string>::size_type i = 0; i + 1 < list.size(); i += 2)
    {
        if (list[i + 1].empty() == deletions)
        {
            sources.push_back(list[i]);
        }
    }
    return sources;
}
} // namespace

std::vector<std::u16string> NtMoveSources(const std::vector<std::u16string>& list)
{
    return Sources(list, false);
}

std::vector<std::u16string> NtDeletions(const std::vector<std::u16string>& list)
{
    return Sources(list, true);
}
} // namespace BootRenames
