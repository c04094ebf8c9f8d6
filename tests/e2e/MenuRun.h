// Ground shared by the end-to-end tests of the user's path: the machine states the
// main menu recognises, and the dialogs on the way.
#pragma once

#include "SetupRun.h"

#include <string>

namespace MenuRun
{
extern const char* const kInstallKey; // "Software\Pellmor\Prompter Install"

// Control ids of the setup's dialogs.
const int kMenuInstall = 1001, kMenuUninstall = 1002, kMenuInstallLabel = 1003, kMenuFoundIn = 1006,
          kMenuUninstallLabel = 1007;
const int kLicenseText = 1000, kAgreementInstall = 1001, kAccept = 1002;
const int kPath = 1004, kBrowse = 1005;
const int kStageList = 1008;

// Everything the tests may have left: the default folder, the other fixed places,
// the folders the tests install into, the editions' links and the setup's registry keys.
void CleanAll();

// A prompter program in `folder`\Programs, as an earlier install leaves it.
void PlantProgram(const std::string& folder, const char* program = "ScrollNT.Exe");
// The prompter program of the other family: an install finds it, and the install
// that follows does not stop to ask about replacing it (it carries no version).
const char* ProgramNotReplaced(const std::string& winver);
void RecordInstallPath(const std::string& folder);
void RecordBuild(DWORD build);
void RecordBuildAsText(const std::string& build);
// The recorded "Install Path"; "<none>" when there is none.
std::string RecordedInstallPath();

// The main menu (its caption holds " - Installation Build ").
HWND WaitMenu(CRobot& robot, DWORD timeoutMs = 15000);

// Enter and Esc as the dialog manager sees them.
void PressEnter(HWND dialog);
void PressEscape(HWND dialog);

// True when the program ends without showing any message box; `why` says otherwise.
bool EndsSilently(CRobot& robot, std::string& why, DWORD timeoutMs = 10000);

// Answers whatever message boxes come with OK (a question with Yes) until the program
// ends, collecting their texts in order (separated by '|').
std::string AnswerUntilExit(CRobot& robot, DWORD timeoutMs = 60000);

// The question before the uninstall of `folder` deletes anything.
std::string UninstallQuestion(const std::string& folder);

// The shipped agreement text of an edition up to its marker.
std::string AgreementText(const std::string& edition);
} // namespace MenuRun
