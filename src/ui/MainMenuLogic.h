// The main menu's decisions, free of any window: where an earlier install is,
// what the menu says about it, which choices it offers and what a choice means
// for the rest of the run.
#pragma once

#include "package/BuildNumber.h"

#include <functional>
#include <string>

namespace MainMenuLogic
{
// Where installs are looked for after the recorded folder, in this order.
extern const char* const kFixedPlaces[];
extern const int kFixedPlaceCount;
// The predecessor product's fixed place.
extern const char* const kTarpanFolder;
// The folder a fresh install is offered.
extern const char* const kFreshFolder;
// The setup's own build; an install recorded with it cannot be installed over.
const long kOwnBuild = KELVARIN_BUILD_NUMBER;

// Whether a file or folder exists (attributes do not matter).
using ExistsFn = std::function<bool(const std::string&)>;
// Whether two folder names are the same, ignoring case in the system code page.
using SameFolderFn = std::function<bool(const std::string&, const std::string&)>;

struct SearchResult
{
    bool found = false;
    std::string folder; // as recorded or as the fixed place is spelt
};

// The first of the recorded folder and the fixed places that holds a prompter
// program. Only existence is asked, never what the file is.
SearchResult FindEarlierInstall(const std::string& recorded, const ExistsFn& exists);

enum class Opening
{
    Fresh,       // nothing found
    SameProduct, // an install of this product: upgraded in place
    Predecessor  // a Tarpan LT install: upgraded to Ardent after the agreement
};

// What the product key and the product's entry held when the menu opened.
struct RecordedInstall
{
    std::string path;      // "Install Path"; empty when missing or not a string
    bool hasPath = false;  // "Install Path" present as a string, even an empty one
    bool hasBuild = false; // "Build Number" present as a REG_DWORD
    long build = 0;
    std::string entryLocation; // the entry's InstallLocation; empty without one
};

// Where an install said the product is: "Install Path" beside the "Build Number" the install
// writes with it, else the folder the product's entry names; empty when neither says. A bare
// "Install Path" is only what a medium's menu found or offered when it opened.
std::string StatedFolder(const RecordedInstall& recorded);

// The folder an uninstall started without the menu removes: the setup's copy trusts only what
// an install stated; the medium also a bare "Install Path", else the entry's folder. False
// when nothing names one; an empty "Install Path" does (and is refused as no folder).
bool FolderToRemove(const RecordedInstall& recorded, bool setupCopy, std::string& folder);

struct MenuState
{
    Opening opening = Opening::Fresh;
    bool ardent = false;         // the Ardent flag once the menu has opened
    std::string installFolder;   // the setup state's install folder
    bool writePath = false;      // "Install Path" is (re)written with installFolder
    long installedBuild = 0;     // -1 unknown, 0 not looked up
    std::string shownFolder;     // the folder in the found-in text; empty when fresh
    std::string uninstallFolder; // what the uninstall button removes; empty: nothing
};

// The whole opening of the menu given what the registry and the disk hold.
//
// A found install is taken for Tarpan LT when it sits at the predecessor's fixed
// place and the product key does not record a build for that folder: this setup
// always records its build, so a recorded build there means an install that was
// already upgraded to Ardent. Tarpan LT is only ever upgraded to Ardent, so
// finding it sets the Ardent flag whatever the edition of the medium.
//
// "Install Path" is written only where no "Build Number" stands beside it: the menu never
// turns its guess into what looks like an install's own record, nor overwrites one.
//
// The setup's copy that the product's entry starts searches nothing and writes nothing: it
// judges only the folder an install stated (StatedFolder), there or gone.
MenuState OpenMenu(const RecordedInstall& recorded, bool ardent, const ExistsFn& exists,
                   const SameFolderFn& sameFolder, bool setupCopy = false);

// String ids of the menu's texts; 0 where there is none.
struct MenuTexts
{
    unsigned installLabel = 0;
    unsigned uninstallLabel = 0;
    unsigned caption = 0;
    unsigned foundPrefix = 0;
};
MenuTexts TextsFor(Opening opening, bool ardent);

// Whether the install button is offered: not for an install of this very build,
// nor for one whose recorded folder differs from where it was found (build 0), nor by the
// setup's copy that the product's entry starts, which has no packages beside it.
bool InstallEnabled(long installedBuild, const std::string& installLabel, bool setupCopy = false);

// Whether the uninstall button is offered: for an install found, and by the setup's copy
// while the product's record or entry is left (`leftBehind`) with its folder gone, deleted by
// hand or on a share not connected: the uninstall removes what is left.
bool UninstallEnabled(Opening opening, bool setupCopy, bool leftBehind);

struct MenuResult
{
    bool install = false;
    bool upgrade = false;
    bool switchToArdent = false;
};

enum class Button
{
    Install,
    Uninstall
};
MenuResult ResultFor(Button button, Opening opening);

// What the start-up routine does after the menu.
enum class Route
{
    Uninstall,           // all three flags false
    InstallInPlace,      // upgrade: no agreement, no path dialog
    AgreementThenPath,   // fresh install
    AgreementThenInstall // Tarpan LT: the agreement, then into the found folder
};
Route RouteFor(const MenuResult& result);

// The install folder after the path dialog: an empty text keeps the menu's folder;
// any other text (which the dialog has checked) is taken as typed.
std::string FolderAfterPathDialog(const std::string& menuFolder, const std::string& typed);

// Whether `folder` holds a prompter program: an install the menu would find there.
bool HoldsProgram(const std::string& folder, const ExistsFn& exists);
} // namespace MainMenuLogic
