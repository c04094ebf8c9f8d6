// The platform's version, read afresh by every caller: the 9x and NT variants of
// files and operations are chosen from it at run time.
#pragma once

#include <windows.h>

namespace Platform
{
// The setup ends with this code when the platform will not say what it is.
const UINT kExitNoPlatformVersion = 1000;

// GetVersionExA's answer; ends the process with kExitNoPlatformVersion when the
// version cannot be read.
OSVERSIONINFOA QueryVersion();

// True on the NT family.
bool IsWindowsNT();
} // namespace Platform
