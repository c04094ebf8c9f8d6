// Shared ground of the end-to-end tests: where the media are, and a clean machine.
#pragma once

#include "Robot.h"
#include "TestFiles.h"
#include "TestRegistry.h"

#include <string>

namespace SetupRun
{
// Setup.exe of an edition's medium ("Ardent" or "Brisk") as a Windows path.
std::string SetupExe(const std::string& edition);
// The medium folder of an edition, with a trailing backslash.
std::string MediumFolder(const std::string& edition);

// Removes what earlier runs left: the default install folder, the setup's registry keys,
// the product's entry in the list of installed programs and the setup's copy.
void CleanMachine();

// The product's entry below HKLM, and where the setup keeps its copy on a family.
std::string EntryKey();
std::string SetupCopyPath(bool windowsNT);

using TestFiles::SystemText;

// Takes a started setup through a fresh install with the user's defaults, through
// whichever of the main menu, the agreement and the install path dialog it shows:
// the install button, the ticked agreement, and `installPath` typed into the path
// dialog (empty keeps the preset). Returns at the first message box (the closing
// message or a failure), which it does not answer, or false when none came.
// `seen` collects the captions of the windows passed on the way.
bool DriveFreshInstall(CRobot& robot, const std::string& installPath, RobotMessageBox& box,
                       std::string* seen = nullptr, DWORD timeoutMs = 60000);

// The program's windows' captions, for failure messages.
std::string DescribeWindows(const CRobot& robot);
} // namespace SetupRun
