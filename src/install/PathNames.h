// Whether two paths name the same file, decided the way Windows reads paths. The system
// keeps the paths it is given in its own form (the boot-time list holds
// "\??\C:\Folder\File" with doubled separators collapsed and "/" made "\"), so a path
// of the setup is never compared with one the system stored by its text alone.
#pragma once

#include <string>

namespace PathNames
{
// The path as Windows resolves it, in upper case: without a "\??\" or "\\?\" prefix
// ("\??\UNC\server" reads as "\\server"), "/" read as "\", runs of separators as one,
// "." and ".." parts resolved (never above the drive or share), a name's one trailing
// dot dropped and the last name's trailing dots and blanks, no trailing separator.
std::u16string Canonical(const std::u16string& path);

// Whether `a` and `b` name the same file or folder.
bool SameFile(const std::u16string& a, const std::u16string& b);

// Whether `path` is `folder` or lies anywhere below it.
bool IsSameOrBelow(const std::u16string& path, const std::u16string& folder);

// The letter Windows compares in place of `c`: upper case for the Latin, Greek and
// Cyrillic letters of the code pages the setup meets; every other character as it is.
char16_t UpperCase(char16_t c);
} // namespace PathNames
