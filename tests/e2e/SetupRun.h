// Shared ground of the end-to-end tests: where the media are, and a clean machine.
#pragma once

#include "Robot.h"

#include <string>

namespace SetupRun
{
// Setup.exe of an edition's medium ("Ardent" or "Brisk") as a Windows path.
std::string SetupExe(const std::string& edition);
// The medium folder of an edition, with a trailing backslash.
std::string MediumFolder(const std::string& edition);

// Removes what earlier runs left: the default install folder and the setup's registry keys.
void CleanMachine();

bool KeyExists(HKEY root, const std::string& path);
void DeleteKeyTree(HKEY root, const std::string& path);

// The system's text for an error code, as the setup shows it.
std::string SystemText(DWORD code);

// The program's windows' captions, for failure messages.
std::string DescribeWindows(const CRobot& robot);
} // namespace SetupRun
