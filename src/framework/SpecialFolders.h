// Paths of the shell's special folders, as the setup's links need them.
#pragma once

#include <windows.h>

#include <string>

namespace SpecialFolders
{
// On the 9x family the all-users folders (common start menu, programs, startup and
// desktop) become the user's own; other identifiers, and every one on NT, stay.
int ForFamily(int csidl, bool windowsNT);

// The path of folder `csidl` exactly as asked, without telling anybody when the shell
// has none (many folders do not exist on every system); `result` (when given) is the
// shell's answer, so that a lookup that failed is not taken for a folder that is not there.
bool Find(int csidl, std::string& path, HRESULT* result = nullptr);
// The same as the system stores it, through the shell's wide call: the NT family only.
bool Find(int csidl, std::u16string& path, HRESULT* result = nullptr);

// The folder's path without a trailing backslash; empty after telling the user
// (the system's error text alone) when the shell cannot say.
std::string GetPath(int csidl);
} // namespace SpecialFolders
