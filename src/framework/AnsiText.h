// Text between the system's ANSI code page, in which the setup keeps its paths and
// messages, and UTF-16, in which package names and the system's own lists come.
#pragma once

#include <string>

namespace AnsiText
{
// `text` in UTF-16 into `wide`. False (with the last error, `wide` empty) when the system
// cannot convert it: an empty result is never a stand-in for a path that failed.
bool Widen(const std::string& text, std::u16string& wide);

// `length` UTF-16 units in the code page into `ansi`; characters it lacks become its
// default one. False (with the last error) when the system cannot convert them.
bool Narrow(const char16_t* text, size_t length, std::string& ansi);
} // namespace AnsiText
