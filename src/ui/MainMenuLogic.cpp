#include "ui/MainMenuLogic.h"

#include "framework/resource.h"

namespace MainMenuLogic
{
const char* const kFixedPlaces[] = {"C:\\TarpanLT", "C:\\Ardent", "C:\\Nimbus"};
const int kFixedPlaceCount = static_cast<int>(sizeof(kFixedPlaces) / sizeof(kFixedPlaces[0]));
const char* const kTarpanFolder = "C:\\TarpanLT";
const char* const kFreshFolder = "C:\\Nimbus";

bool HoldsProgram(const std::string& folder, const ExistsFn& exists)
{
    return exists(folder + "\\Programs\\ScrollNT.Exe") ||
           exists(folder + "\\Programs\\Scroll95.Exe");
}

SearchResult FindEarlierInstall(const std::string& recorded, const ExistsFn& exists)
{
    SearchResult result;
    if (!recorded.empty() && HoldsProgram(recorded, exists))
    {
        result.found = true;
        result.folder = recorded;
        return result;
    }
    for (int i = 0; i < kFixedPlaceCount; ++i)
    {
        if (HoldsProgram(kFixedPlaces[i], exists))
        {
            result.found = true;
            result.folder = kFixedPlaces[i];
            return result;
        }
    }
    return result;
}

std::string StatedFolder(const RecordedInstall& recorded)
{
    return recorded.hasBuild && !recorded.path.empty() ? recorded.path : recorded.entryLocation;
}

bool FolderToRemove(const RecordedInstall& recorded, bool setupCopy, std::string& folder)
{
    const bool recordedPath = recorded.hasPath && (recorded.hasBuild || !setupCopy);
    folder = recordedPath ? recorded.path : recorded.entryLocation;
    return recordedPath || !folder.empty();
}

namespace
{
// The copy's menu: the stated folder with the product in it, or gone; nothing else.
MenuState OpenCopyMenu(const RecordedInstall& recorded, bool ardent, const ExistsFn& exists)
{
    MenuState state;
    state.ardent = ardent;
    state.opening = Opening::Fresh;
    state.installFolder = kFreshFolder;
    state.installedBuild = -1;
    state.uninstallFolder = StatedFolder(recorded);
    if (!state.uninstallFolder.empty() && HoldsProgram(state.uninstallFolder, exists))
    {
        state.opening = Opening::SameProduct;
        state.installFolder = state.uninstallFolder;
        state.shownFolder = state.uninstallFolder;
    }
    return state;
}
} // namespace

MenuState OpenMenu(const RecordedInstall& recorded, bool ardent, const ExistsFn& exists,
                   const SameFolderFn& sameFolder, bool setupCopy)
{
    if (setupCopy)
    {
        return OpenCopyMenu(recorded, ardent, exists);
    }
    MenuState state;
    state.ardent = ardent;
    const SearchResult search = FindEarlierInstall(recorded.path, exists);
    if (!search.found)
    {
        state.opening = Opening::Fresh;
        state.installFolder = kFreshFolder;
        state.writePath = !recorded.hasBuild;
        state.installedBuild = -1;
        return state;
    }

    const bool recordedHere = !recorded.path.empty() && sameFolder(recorded.path, search.folder);
    if (recordedHere)
    {
        state.installedBuild = recorded.hasBuild ? recorded.build : -1;
        state.shownFolder = recorded.path;
    }
    else
    {
        state.shownFolder = search.folder;
        state.writePath = !recorded.hasBuild;
    }
    state.installFolder = state.shownFolder;
    state.uninstallFolder = state.shownFolder;

    const bool predecessor =
        sameFolder(search.folder, kTarpanFolder) && !(recordedHere && recorded.hasBuild);
    if (predecessor)
    {
        state.opening = Opening::Predecessor;
        state.ardent = true;
        if (state.installedBuild == 0)
        {
            state.installedBuild = -1;
        }
    }
    else
    {
        state.opening = Opening::SameProduct;
    }
    return state;
}

MenuTexts TextsFor(Opening opening, bool ardent)
{
    MenuTexts texts;
    switch (opening)
    {
    case Opening::Fresh:
        texts.installLabel = ardent ? IDS_INSTALL_ARDENT : IDS_INSTALL_BRISK;
        texts.uninstallLabel = ardent ? IDS_UNINSTALL_ARDENT : IDS_UNINSTALL_BRISK;
        texts.caption = ardent ? IDS_CAPTION_ARDENT : IDS_CAPTION_BRISK;
        break;
    case Opening::SameProduct:
        texts.installLabel = ardent ? IDS_UPGRADE_ARDENT : IDS_UPGRADE_BRISK;
        texts.uninstallLabel = ardent ? IDS_UNINSTALL_ARDENT : IDS_UNINSTALL_BRISK;
        texts.caption = ardent ? IDS_CAPTION_ARDENT : IDS_CAPTION_BRISK;
        texts.foundPrefix = ardent ? IDS_FOUND_ARDENT : IDS_FOUND_BRISK;
        break;
    case Opening::Predecessor:
        texts.installLabel = IDS_UPGRADE_TARPAN;
        texts.uninstallLabel = IDS_UNINSTALL_TARPAN;
        texts.caption = IDS_CAPTION_ARDENT;
        texts.foundPrefix = ardent ? IDS_FOUND_TARPAN : IDS_FOUND_BRISK;
        break;
    }
    return texts;
}

bool InstallEnabled(long installedBuild, const std::string& installLabel, bool setupCopy)
{
    return !setupCopy && installedBuild != 0 && installedBuild != kOwnBuild &&
           !installLabel.empty();
}

bool UninstallEnabled(Opening opening, bool setupCopy, bool leftBehind)
{
    return opening != Opening::Fresh || (setupCopy && leftBehind);
}

MenuResult ResultFor(Button button, Opening opening)
{
    MenuResult result;
    if (button == Button::Uninstall)
    {
        return result;
    }
    switch (opening)
    {
    case Opening::Predecessor:
        result.install = true;
        result.switchToArdent = true;
        break;
    case Opening::SameProduct:
        result.upgrade = true;
        break;
    case Opening::Fresh:
        result.install = true;
        break;
    }
    return result;
}

Route RouteFor(const MenuResult& result)
{
    if (result.upgrade)
    {
        return Route::InstallInPlace;
    }
    if (!result.install)
    {
        return Route::Uninstall;
    }
    return result.switchToArdent ? Route::AgreementThenInstall : Route::AgreementThenPath;
}

std::string FolderAfterPathDialog(const std::string& menuFolder, const std::string& typed)
{
    return typed.empty() ? menuFolder : typed;
}
} // namespace MainMenuLogic
