// Byte strings written as text: hexadecimal pairs separated by hyphens ("0A-1F-FF").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace HexText
{
// Every byte takes three characters once a hyphen is appended, so a trailing hyphen
// changes nothing and a lone trailing digit is dropped. Each pair is read as base 16 up
// to its first non-hex character ("G1" gives 0, "1G" gives 1).
std::vector<uint8_t> DecodeHyphenated(const std::string& text);
} // namespace HexText
