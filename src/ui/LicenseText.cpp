#include "ui/LicenseText.h"

namespace LicenseText
{
const char* const kEndMarker = "!!";

std::string VisiblePart(const char* data, std::size_t size)
{
    if (!data)
    {
        return std::string();
    }
    std::size_t length = 0;
    while (length < size && !(data[length] == '!' && length + 1 < size && data[length + 1] == '!'))
    {
        ++length;
    }
    return std::string(data, length);
}
} // namespace LicenseText
