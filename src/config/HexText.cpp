#include "config/HexText.h"

namespace HexText
{
namespace
{
int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
    {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f')
    {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F')
    {
        return c - 'A' + 10;
    }
    return -1;
}
} // namespace

std::vector<uint8_t> DecodeHyphenated(const std::string& text)
{
    const std::string extended = text + "-";
    const std::size_t count = extended.size() / 3;
    std::vector<uint8_t> bytes(count, 0);
    for (std::size_t i = 0; i < count; ++i)
    {
        unsigned value = 0;
        for (std::size_t j = 0; j < 2; ++j)
        {
            const int digit = DigitValue(extended[i * 3 + j]);
            if (digit < 0)
            {
                break;
            }
            value = value * 16 + static_cast<unsigned>(digit);
        }
        bytes[i] = static_cast<uint8_t>(value);
    }
    return bytes;
}
} // namespace HexText
