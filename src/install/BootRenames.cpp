#include "install/BootRenames.h"

namespace BootRenames
{
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
} // namespace BootRenames
