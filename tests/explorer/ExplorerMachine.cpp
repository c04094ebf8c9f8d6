#include "ExplorerMachine.h"

#include "Fault.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "config/RegistryKey.h"
#include "config/UninstallEntry.h"
#include "framework/Messages.h"
#include "framework/ProgressReport.h"
#include "framework/Win32Handles.h"
#include "framework/resource.h"
#include "install/ReplaceRules.h"
#include "install/PackageTable.h"
#include "install/SetupCopy.h"
#include "package/PackageFile.h"
#include "ui/DLG_InstallPath.h"
#include "ui/DLG_MainMenu.h"
#include "ui/MainMenuLogic.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <shlobj.h>

namespace
{
const char kInstallKey[] = "Software\\Pellmor\\Prompter Install";
const char kSiblingKey[] = "Software\\Pellmor\\Keep"; // the maker's, not the product's
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kProfileKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-7-7-7-1999";
const wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t kOfflineShare[] = L"\\\\kelvarin-offline\\share";
const std::string kEntryKey =
    std::string(UninstallEntry::kParentKey) + "\\" + UninstallEntry::kName;
const char kStudio[] = "C:\\Studio";       // typed: new, or a link in its world
const char kData[] = "C:\\Data";           // typed: a folder of the user's
const char kElsewhere[] = "C:\\Elsewhere"; // where the link leads
const char kDisc[] = "C:\\ExplorerDisc";   // the read-only medium

std::string Lower(std::string text)
{
    CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// As the system compares paths: no "\??\", "\" for "/", no trailing separator, one case.
std::string Canonical(std::string path)
{
    if (path.compare(0, 4, "\\??\\") == 0)
    {
        path.erase(0, 4);
    }
    std::replace(path.begin(), path.end(), '/', '\\');
    while (path.size() > 3 && path.back() == '\\')
    {
        path.pop_back();
    }
    return Lower(path);
}

bool Below(const std::string& path, const std::string& folder)
{
    const std::string p = Canonical(path), f = Canonical(folder);
    return !f.empty() && (p == f || p.compare(0, f.size() + 1, f + "\\") == 0);
}

std::string Narrow(const std::wstring& wide)
{
    std::string text(wide.size() * 2 + 1, '\0');
    text.resize(WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                    &text[0], static_cast<int>(text.size()), nullptr, nullptr));
    return text;
}

std::string Program(const std::string& folder, bool nt)
{
    return folder + "\\Programs\\Scroll" + (nt ? "NT" : "95") + ".exe";
}

// A temporary file's name without its number, which differs from run to run: two machines
// that differ only there are one for the walk.
std::string Unnumbered(std::string text)
{
    for (std::string::size_type at = text.find("$tmp"); at != std::string::npos;
         at = text.find("$tmp", at + 4))
    {
        std::string::size_type end = at + 4;
        while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end])))
        {
            ++end;
        }
        text.replace(at + 4, end - at - 4, "#");
    }
    return text;
}

// The names and sizes below a folder, in order: what a No must leave as it was.
void Listing(const std::string& folder, std::string& out, uint64_t* bytes = nullptr)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
    {
        return;
    }
    do
    {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
        {
            continue;
        }
        out += Unnumbered(Lower(folder + "\\" + name)) + ":" + std::to_string(found.nFileSizeLow) +
               ";";
        if (bytes)
        {
            *bytes += found.nFileSizeLow;
        }
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        {
            Listing(folder + "\\" + name, out, bytes);
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

// The menu's install label, as the window shows it: empty where it offers none.
std::string InstallLabel(const MainMenuLogic::MenuState& menu)
{
    const unsigned id = MainMenuLogic::TextsFor(menu.opening, menu.ardent).installLabel;
    return id ? Messages::Format(id, {std::to_string(MainMenuLogic::kOwnBuild)}) : std::string();
}

// The start of a message, up to its first insert: how a rule knows which text a box shows.
std::string Opening(UINT id)
{
    const std::string text = Messages::LoadText(id);
    return text.substr(0, text.find('%'));
}

class CQuietProgress : public IProgressReport
{
public:
    void SetStatus(UINT, UINT) override {}
    void SetLine2(UINT) override {}
    void SetLine2Text(const std::string&) override {}
};

// The application as the user answers it: the action's Yes or No to its question, No to the
// restart (a restart is an action of its own), OK to everything else.
class CExplorerApp : public TestSupport::CTestApp
{
public:
    int yesNo = IDYES;
    int DoMessageBox(const char* text, UINT type, HWND owner) override
    {
        CTestApp::DoMessageBox(text, type, owner);
        if ((type & 0xF) != MB_YESNO)
        {
            return IDOK;
        }
        return std::string(text).find(Opening(IDS_RESTART_QUERY)) == 0 ? IDNO : yesNo;
    }
};
} // namespace

const char* CExplorerMachine::Name(World world)
{
    static const char* const names[] = {
        "a plain machine",
        "the product installed",
        "Documents and Desktop on a share not reachable",
        "a profile named outside the code page",
        "Tarpan LT's program put back in C:\\TarpanLT",
        "a link typed as the install folder",
        "a share whose file indexes are 0",
        "a read-only medium",
    };
    return names[static_cast<int>(world)];
}

const char* CExplorerMachine::Name(Action action)
{
    static const char* const names[] = {
        "install (preset)",
        "install (typed new)",
        "install (typed existing, Yes)",
        "install (typed existing, No)",
        "upgrade",
        "Tarpan LT upgrade",
        "menu uninstall, Yes",
        "menu uninstall, No",
        "entry uninstall, Yes",
        "entry uninstall, No",
        "entry's menu, Exit",
        "restart",
        "folder deleted by hand",
        "share disconnected",
        "Tarpan LT put back",
    };
    return names[static_cast<int>(action)];
}

bool CExplorerMachine::Fits(World world, bool windowsNT)
{
    // The 9x family has no profiles list read wide, no links, and judges folders by their text
    // alone, never by file index.
    return windowsNT || (world != World::ProfileOutsideCodePage &&
                         world != World::LinkOnTypedPath && world != World::ZeroFileIndexes);
}

CExplorerMachine::CExplorerMachine(bool windowsNT)
    : m_nt(windowsNT),
      m_medium(TestFiles::FromUnixPath(std::string(KELVARIN_MEDIUM_DIR) + "/Ardent/"))
{
    char folder[MAX_PATH] = "";
    m_windows.assign(folder, GetWindowsDirectoryA(folder, sizeof(folder)));
    m_system.assign(folder, GetSystemDirectoryA(folder, sizeof(folder)));
    m_copies = {Canonical(SetupCopy::Path(true, m_windows)),
                Canonical(SetupCopy::Path(false, m_windows))};
    m_copyFolder = Canonical(SetupCopy::Folder(true, m_windows));
    // The product's files in the system folder, which a fresh machine does not have.
    for (const PackageTable::Placement& placement :
         PackageTable::Placements(m_nt, "C:\\Nimbus", m_system))
    {
        CPackageFile package(false);
        if (placement.target != m_system || !package.Open(m_medium + placement.package, false))
        {
            continue;
        }
        const CPackageCatalog catalog = package.GetCatalog();
        for (int i = 0; i < catalog.GetCount(); ++i)
        {
            const CPackageCatalogEntry entry = catalog.GetEntry(i);
            const std::u16string name(entry.GetName(), entry.GetNameLength());
            m_systemFiles.push_back(m_system + "\\" + std::string(name.begin(), name.end()));
        }
    }
    // The disc: the medium with every file read-only.
    CreateDirectoryA(kDisc, nullptr);
    for (const std::string& name : TestFiles::List(m_medium, "*"))
    {
        const std::string target = std::string(kDisc) + "\\" + name;
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        CopyFileA((m_medium + name).c_str(), target.c_str(), FALSE);
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    }
}

CExplorerMachine::~CExplorerMachine()
{
    Reset(World::Plain);
    TestFiles::RemoveTree(kData);
    for (const std::string& name : TestFiles::List(kDisc, "*"))
    {
        SetFileAttributesA((std::string(kDisc) + "\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    TestFiles::RemoveTree(kDisc);
}

void CExplorerMachine::Redirect(const wchar_t* share)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
    {
        return;
    }
    for (const wchar_t* name : {L"Personal", L"Desktop"})
    {
        if (share)
        {
            const std::wstring path = std::wstring(share) + L"\\" + name;
            RegSetValueExW(key, name, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
        }
        else
        {
            // The prefix's own: the system's default under the profile.
            const std::wstring path =
                std::wstring(L"%USERPROFILE%\\") + (name[0] == L'P' ? L"Documents" : L"Desktop");
            RegSetValueExW(key, name, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
        }
    }
    RegCloseKey(key);
}

std::vector<std::string> CExplorerMachine::TemporaryFolders() const
{
    // Where a file that waits for the boot lies outside the product's trees: beside the 9x
    // copy, in the Windows folder, and in the system folder.
    return {m_windows, m_system};
}

void CExplorerMachine::Clean()
{
    TestRegistry::DeleteKeyTree("Software\\Pellmor");
    TestRegistry::DeleteKeyTree(kEntryKey);
    TestRegistry::DeleteValue(kSessionManager, "PendingFileRenameOperations");
    DeleteFileA((m_windows + "\\WININIT.INI").c_str());
    for (const std::string& copy : m_copies)
    {
        SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(copy.c_str());
    }
    TestFiles::RemoveTree(m_copyFolder);
    for (const std::string& file : m_systemFiles)
    {
        DeleteFileA(file.c_str());
    }
    for (const std::string& folder : TemporaryFolders())
    {
        for (const std::string& name : TestFiles::List(folder, "$tmp*.tmp"))
        {
            DeleteFileA((folder + "\\" + name).c_str());
        }
    }
    for (const char* folder : {"C:\\Nimbus", kData, kElsewhere, "C:\\TarpanLT"})
    {
        TestFiles::RemoveTree(folder);
    }
    if (!(GetFileAttributesA(kStudio) & FILE_ATTRIBUTE_REPARSE_POINT))
    {
        TestFiles::RemoveTree(kStudio);
    }
}

bool CExplorerMachine::Reset(World world)
{
    m_world = world;
    m_model = Model();
    m_broken.clear();
    Fault::EditFileInformation(nullptr);
    Redirect(nullptr);
    TestRegistry::DeleteKeyTree(kProfileKey);
    const DWORD studio = GetFileAttributesA(kStudio);
    if (studio != INVALID_FILE_ATTRIBUTES && (studio & FILE_ATTRIBUTE_REPARSE_POINT))
    {
        TestFiles::RemoveFolderLink(kStudio);
    }
    Clean();
    for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PROGRAMS,
                      CSIDL_DESKTOPDIRECTORY})
    {
        char folder[MAX_PATH] = "";
        if (SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE))
        {
            DeleteFileA((std::string(folder) + "\\Ardent.lnk").c_str());
        }
    }

    // What is not the product's, and must stay as it is whatever the user does.
    char profile[MAX_PATH] = "";
    GetEnvironmentVariableA("USERPROFILE", profile, sizeof(profile));
    m_model.sentinels = {{std::string(kData) + "\\Mine.txt", "the user's own"},
                         {std::string(profile) + "\\Explorer Keep.txt", "the user's profile"},
                         {"reg:" + std::string(kSiblingKey), "1.0"}};
    TestRegistry::WriteString(kSiblingKey, "Version", "1.0");
    switch (world)
    {
    case World::DocumentsOffline:
        Redirect(kOfflineShare);
        m_model.offline = true;
        break;
    case World::ProfileOutsideCodePage:
    {
        const std::wstring folder = L"C:\\users\\\u0414\u043c\u0438\u0442\u0440\u0438\u0439";
        CreateDirectoryW(folder.c_str(), nullptr);
        CRegistryKey key;
        key.Create(HKEY_LOCAL_MACHINE, kProfileKey);
        RegSetValueExW(key.GetHandle(), L"ProfileImagePath", 0, REG_EXPAND_SZ,
                       reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
        break;
    }
    case World::LinkOnTypedPath:
    {
        m_model.sentinels.push_back({std::string(kElsewhere) + "\\Keep.txt", "beyond the link"});
        break;
    }
    case World::ZeroFileIndexes:
        Fault::EditFileInformation([](BY_HANDLE_FILE_INFORMATION& information)
                                   { information.nFileIndexHigh = information.nFileIndexLow = 0; });
        break;
    case World::Installed:
    case World::TarpanLeft: // put back by an action: before, or after an install elsewhere
    case World::Plain:
    case World::ReadOnlyMedium:
    case World::Count:
        break;
    }
    for (const Sentinel& sentinel : m_model.sentinels)
    {
        if (sentinel.path.compare(0, 4, "reg:") != 0)
        {
            CreateDirectoryA(sentinel.path.substr(0, sentinel.path.find('\\', 3)).c_str(), nullptr);
            CreateDirectoryA(sentinel.path.substr(0, sentinel.path.rfind('\\')).c_str(), nullptr);
            TestFiles::WriteText(sentinel.path, sentinel.text);
        }
    }
    std::string why;
    if (world == World::LinkOnTypedPath && !TestFiles::MakeFolderLink(kElsewhere, kStudio, why))
    {
        m_broken.push_back("world: " + why);
        return false;
    }
    return world != World::Installed || (Apply(Action::InstallPreset) && m_model.installed);
}

std::string CExplorerMachine::EntryValue(const char* name) const
{
    return TestRegistry::ReadString(kEntryKey, name);
}

std::string CExplorerMachine::CopyOfEntry() const
{
    const std::string command = EntryValue("UninstallString");
    const std::string::size_type open = command.find('"'), close = command.rfind('"');
    return open == std::string::npos || close <= open ? command
                                                      : command.substr(open + 1, close - open - 1);
}

std::vector<std::string> CExplorerMachine::PendingOps() const
{
    std::vector<std::string> ops;
    if (!m_nt)
    {
        const std::string text = TestFiles::ReadText(m_windows + "\\WININIT.INI");
        std::string::size_type at = 0;
        while (at < text.size())
        {
            const std::string::size_type end = text.find('\n', at);
            std::string line = text.substr(at, end == std::string::npos ? end : end - at);
            at = end == std::string::npos ? text.size() : end + 1;
            if (!line.empty() && line.back() == '\r')
            {
                line.pop_back();
            }
            if (line.find('=') != std::string::npos)
            {
                ops.push_back(Unnumbered(Lower(line)));
            }
        }
        return ops;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != 0)
    {
        return ops;
    }
    DWORD size = 0;
    std::wstring data;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) ==
        0)
    {
        data.assign(size / sizeof(wchar_t) + 1, L'\0');
        RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&data[0]), &size);
        data.resize(size / sizeof(wchar_t));
    }
    RegCloseKey(key);
    std::vector<std::string> strings;
    for (std::size_t at = 0; at < data.size();)
    {
        const std::wstring one(data.c_str() + at);
        strings.push_back(Canonical(Narrow(one)));
        at += one.size() + 1;
    }
    for (std::size_t i = 0; i + 1 < strings.size(); i += 2)
    {
        ops.push_back(Unnumbered(strings[i] + " -> " + strings[i + 1]));
    }
    return ops;
}

CExplorerMachine::ProductState CExplorerMachine::Product() const
{
    ProductState state;
    DWORD build = 0;
    state.record =
        TestRegistry::ReadString(kInstallKey, "Install Path") + "|" +
        (TestRegistry::ReadDword(kInstallKey, "Build Number", build) ? std::to_string(build) : "-");
    state.entry = TestRegistry::KeyExists(kEntryKey)
                      ? EntryValue("InstallLocation") + "|" + EntryValue("UninstallString")
                      : "-";
    for (const std::string& copy : m_copies)
    {
        state.copy += TestFiles::Exists(copy) ? "1" : "0";
    }
    for (const char* folder : {"C:\\Nimbus", kStudio, kData, "C:\\TarpanLT"})
    {
        Listing(folder, state.tree);
    }
    for (const std::string& op : PendingOps())
    {
        state.tree += op + ";";
    }
    return state;
}

std::string CExplorerMachine::Fingerprint() const
{
    const ProductState state = Product();
    return state.record + "#" + state.entry + "#" + state.copy + "#" + state.tree + "#" +
           (m_model.installed ? "i" : "-") + (m_model.folderGone ? "g" : "-") +
           (m_model.bootSinceUninstall ? "b" : "-") + (m_model.offline ? "o" : "-") +
           m_model.folder;
}

bool CExplorerMachine::Apply(Action action)
{
    m_shown.clear();
    m_changesNothing = false;
    m_bareWriteAllowed = false;
    m_typedNewJudged.clear();
    m_removedOutside.clear();
    m_before = Product();
    switch (action)
    {
    case Action::InstallPreset:
    case Action::InstallTypedNew:
    case Action::InstallTypedExistingYes:
    case Action::InstallTypedExistingNo:
    case Action::Upgrade:
    case Action::TarpanUpgrade:
        return Install(action);
    case Action::MenuUninstallYes:
    case Action::MenuUninstallNo:
        return UninstallFromMenu(action == Action::MenuUninstallYes);
    case Action::CopyUninstallYes:
    case Action::CopyUninstallNo:
    case Action::CopyExit:
        return UninstallFromCopy(action);
    case Action::Restart:
        // Nothing waiting, the boot has nothing to carry out.
        if (!PendingOps().empty())
        {
            TestFiles::RunBootProcessing();
        }
        m_model.bootSinceUninstall = !m_model.installed;
        return true;
    case Action::DeleteFolder:
        if (!m_model.installed || m_model.folderGone || !TestFiles::Exists(m_model.folder))
        {
            return false;
        }
        TestFiles::RemoveTree(m_model.folder);
        m_model.folderGone = true;
        return true;
    case Action::TarpanPutBack:
    {
        const std::string program = Program("C:\\TarpanLT", false);
        if (TestFiles::Exists(program))
        {
            return false;
        }
        // Tarpan LT's folder, once the product has left it, is Tarpan LT's own again.
        if (!m_model.installed && m_model.folder == Canonical("C:\\TarpanLT"))
        {
            m_model.folder.clear();
        }
        for (const Sentinel& sentinel :
             {Sentinel{program, "Tarpan LT's program"},
              Sentinel{"C:\\TarpanLT\\Scripts\\Evening News.txt", "a script"}})
        {
            CreateDirectoryA("C:\\TarpanLT", nullptr);
            CreateDirectoryA(sentinel.path.substr(0, sentinel.path.rfind('\\')).c_str(), nullptr);
            TestFiles::WriteText(sentinel.path, sentinel.text);
            m_model.sentinels.push_back(sentinel);
        }
        return true;
    }
    case Action::DisconnectShare:
        if (m_model.offline)
        {
            return false;
        }
        Redirect(kOfflineShare);
        m_model.offline = true;
        return true;
    case Action::Count:
        break;
    }
    return false;
}

void CExplorerMachine::Answer(TestSupport::CTestApp& app, int yesNo)
{
    static_cast<CExplorerApp&>(app).yesNo = yesNo;
    app.onShow = [this](const TestSupport::Shown& box) { m_shown.push_back(box); };
}

bool CExplorerMachine::RunInstall(TestSupport::CTestApp& app)
{
    CQuietProgress progress;
    const bool installed = app.CheckPackages(progress) && app.Install(progress);
    if (installed)
    {
        app.FinishInstall();
    }
    return installed;
}

bool CExplorerMachine::Install(Action action)
{
    const std::string medium =
        m_world == World::ReadOnlyMedium ? std::string(kDisc) + "\\" : m_medium;
    CExplorerApp app;
    Answer(app, action == Action::InstallTypedExistingNo ? IDNO : IDYES);
    CSetupState& state = app.State();
    state.m_strSourceFolder = medium;
    CModuleHandle image(
        LoadLibraryExA((medium + "Setup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    app.SetRecordModule(image.Get());
    app.SetReplaceQuestion([](const std::string&) { return ReplaceRules::Answer::Yes; });

    DWORD build = 0;
    if (action == Action::Upgrade)
    {
        // The user had an older release installed.
        if (!TestRegistry::ReadDword(kInstallKey, "Build Number", build))
        {
            return false;
        }
        TestRegistry::WriteDword(kInstallKey, "Build Number", MainMenuLogic::kOwnBuild - 1);
    }
    m_bareWriteAllowed = !TestRegistry::ReadDword(kInstallKey, "Build Number", build);
    const MainMenuLogic::MenuState menu = DLG_MainMenu::Open(state, false);
    const MainMenuLogic::Opening wanted =
        action == Action::Upgrade         ? MainMenuLogic::Opening::SameProduct
        : action == Action::TarpanUpgrade ? MainMenuLogic::Opening::Predecessor
                                          : MainMenuLogic::Opening::Fresh;
    if (menu.opening != wanted ||
        !MainMenuLogic::InstallEnabled(menu.installedBuild, InstallLabel(menu)))
    {
        if (action == Action::Upgrade)
        {
            TestRegistry::WriteDword(kInstallKey, "Build Number", build);
        }
        return false;
    }
    std::string folder = state.m_strInstallPath;
    if (action == Action::InstallTypedNew || action == Action::InstallTypedExistingYes ||
        action == Action::InstallTypedExistingNo)
    {
        const std::string typed = action == Action::InstallTypedNew ? kStudio : kData;
        const bool fresh = !TestFiles::Exists(typed);
        DLG_InstallPath dialog;
        dialog.m_strPath = folder;
        const DWORD start = GetTickCount();
        const bool accepted = dialog.Accepts(typed);
        const DWORD took = GetTickCount() - start;
        if (fresh && (!accepted || took > 2000))
        {
            m_typedNewJudged =
                typed + (accepted ? " took " + std::to_string(took) + " ms" : " was refused");
        }
        if (!accepted || !app.ConfirmSpace(nullptr, typed))
        {
            m_changesNothing = true; // the user leaves the dialog
            return true;
        }
        folder = MainMenuLogic::FolderAfterPathDialog(folder, typed);
        if (!fresh)
        {
            m_model.handedOver.push_back(Canonical(folder));
        }
    }
    else if (!app.ConfirmSpace(nullptr, folder))
    {
        m_changesNothing = true;
        return true;
    }
    if (action == Action::TarpanUpgrade)
    {
        state.m_bArdent = TRUE;
        m_model.handedOver.push_back(Canonical(folder));
    }
    state.m_strInstallPath = folder;
    // An install that stops after the product's files are in place (a link that cannot be
    // made) has installed the product all the same: it is listed, to be removed.
    if (RunInstall(app) || TestFiles::Exists(Program(folder, m_nt)))
    {
        m_model.installed = true;
        m_model.folder = Canonical(folder);
        m_model.folderGone = false;
    }
    return true;
}

bool CExplorerMachine::UninstallFromMenu(bool yes)
{
    CExplorerApp app;
    Answer(app, yes ? IDYES : IDNO);
    app.State().m_strSourceFolder = m_medium;
    DWORD build = 0;
    m_bareWriteAllowed = !TestRegistry::ReadDword(kInstallKey, "Build Number", build);
    const MainMenuLogic::MenuState menu = DLG_MainMenu::Open(app.State(), false);
    if (!MainMenuLogic::UninstallEnabled(menu.opening, false, false))
    {
        return false;
    }
    m_changesNothing = !yes;
    // The medium's menu names the folder it found, and the user chose to remove it.
    if (yes)
    {
        m_model.handedOver.push_back(Canonical(menu.uninstallFolder));
    }
    Uninstall(app, menu.uninstallFolder);
    return true;
}

bool CExplorerMachine::UninstallFromCopy(Action action)
{
    const std::string copy = CopyOfEntry();
    if (copy.empty() || !TestFiles::Exists(copy))
    {
        return false;
    }
    // The copy runs: its file cannot be deleted until it ends.
    TestFiles::CFileHolder running(copy);
    CExplorerApp app;
    Answer(app, action == Action::CopyUninstallYes ? IDYES : IDNO);
    CSetupState& state = app.State();
    state.m_strSourceFolder = copy.substr(0, copy.rfind('\\') + 1);
    state.m_strSetupFile = copy.substr(copy.rfind('\\') + 1);
    const MainMenuLogic::MenuState menu = DLG_MainMenu::Open(state, true);
    m_changesNothing = action != Action::CopyUninstallYes;
    if (action == Action::CopyExit)
    {
        return true;
    }
    if (!MainMenuLogic::UninstallEnabled(menu.opening, true, !menu.uninstallFolder.empty()))
    {
        return false;
    }
    Uninstall(app, menu.uninstallFolder);
    return true;
}

void CExplorerMachine::Uninstall(CKelvarinApp& app, const std::string& folder)
{
    // What is the product's before it goes: its folder, what the user handed over, its copy
    // and the copy's folder, its links, its keys and entry, and the boot-time list.
    std::vector<std::string> own = m_model.handedOver;
    own.insert(own.end(), m_copies.begin(), m_copies.end());
    own.push_back(m_copyFolder);
    if (m_model.installed)
    {
        own.push_back(m_model.folder);
    }
    Fault::Arm(Fault::Plan());
    const bool completed =
        app.UninstallAfterQuestion(folder) == CKelvarinApp::UninstallOutcome::Completed;
    Fault::Disarm();
    m_removedOutside.clear();
    for (const Fault::Change& change : Fault::Changes())
    {
        const bool removes =
            change.api == Fault::Api::DeleteFileA || change.api == Fault::Api::RemoveDirectoryA ||
            change.api == Fault::Api::MoveFileA || change.api == Fault::Api::MoveFileExA ||
            change.api == Fault::Api::SetFileAttributesA ||
            change.api == Fault::Api::RegDeleteKeyA || change.api == Fault::Api::RegDeleteValueA;
        const std::string path = Canonical(change.path);
        const std::string::size_type slash = path.rfind('\\');
        const std::string folderOf = path.substr(0, slash), name = path.substr(slash + 1);
        const bool ours =
            path.empty() || name == "ardent.lnk" || path == Lower(m_windows + "\\WININIT.INI") ||
            (name.compare(0, 4, "$tmp") == 0 &&
             std::any_of(m_copies.begin(), m_copies.end(),
                         [&](const std::string& copy)
                         { return copy.substr(0, copy.rfind('\\')) == folderOf; })) ||
            std::any_of(own.begin(), own.end(),
                        [&](const std::string& place) { return Below(path, place); }) ||
            Below(path, "hklm\\software\\pellmor") || Below(path, Lower("HKLM\\" + kEntryKey)) ||
            path == Lower(std::string("HKLM\\") + kSessionManager + ":PendingFileRenameOperations");
        if (removes && !ours)
        {
            m_removedOutside.push_back(std::string(Fault::Name(change.api)) + " " + change.path);
        }
    }
    if (completed)
    {
        m_model.installed = false;
        m_model.bootSinceUninstall = false;
    }
}

void CExplorerMachine::Broke(const char* rule, const std::string& what)
{
    m_broken.push_back(std::string(rule) + ": " + what);
}

std::vector<std::string> CExplorerMachine::Check()
{
    // Others' things stay, except what the user handed to the product.
    ++m_rulesChecked;
    for (const Sentinel& sentinel : m_model.sentinels)
    {
        const bool handed =
            std::any_of(m_model.handedOver.begin(), m_model.handedOver.end(),
                        [&](const std::string& folder) { return Below(sentinel.path, folder); });
        const std::string now = sentinel.path.compare(0, 4, "reg:") == 0
                                    ? TestRegistry::ReadString(sentinel.path.substr(4), "Version")
                                    : TestFiles::ReadText(sentinel.path);
        if (!handed && now != sentinel.text)
        {
            Broke("nothing outside the product changes", sentinel.path + " is no longer as it was");
        }
    }

    // The uninstall removes only what is the product's.
    ++m_rulesChecked;
    for (const std::string& removed : m_removedOutside)
    {
        Broke("the uninstall removes only the product's", removed);
    }

    // A No, an Exit or a dialog left changes nothing of the product; the medium's menu may
    // note where it found an install only where no install recorded its own.
    ++m_rulesChecked;
    const ProductState now = Product();
    if (m_changesNothing)
    {
        ProductState before = m_before, after = now;
        if (m_bareWriteAllowed)
        {
            before.record = after.record;
        }
        if (!(before == after))
        {
            Broke("a No changes nothing", "record " + m_before.record + " -> " + now.record +
                                              ", entry " + m_before.entry + " -> " + now.entry +
                                              ", copies " + m_before.copy + " -> " + now.copy);
        }
    }

    // The record names only the folder the product occupies.
    ++m_rulesChecked;
    DWORD build = 0;
    const bool hasBuild = TestRegistry::ReadDword(kInstallKey, "Build Number", build);
    const std::string path = Canonical(TestRegistry::ReadString(kInstallKey, "Install Path"));
    if (hasBuild != m_model.installed || (hasBuild && path != m_model.folder))
    {
        Broke("the record names the product's folder",
              "it says " + (hasBuild ? path : std::string("nothing")) + ", the product is " +
                  (m_model.installed ? "in " + m_model.folder : "not installed"));
    }

    // The entry is listed exactly while the product is installed, and once nothing waits for
    // the boot it names a program that is there and the folder that holds the product.
    ++m_rulesChecked;
    const bool listed = TestRegistry::KeyExists(kEntryKey);
    const bool settled = PendingOps().empty();
    if (listed != m_model.installed)
    {
        Broke("the entry is listed while installed",
              listed ? "listed with nothing installed" : "not listed with the product installed");
    }
    else if (listed && settled)
    {
        if (!TestFiles::Exists(CopyOfEntry()))
        {
            Broke("the entry starts a program", "\"" + CopyOfEntry() + "\" is not there");
        }
        if (Canonical(EntryValue("InstallLocation")) != m_model.folder)
        {
            Broke("the entry names the product's folder", EntryValue("InstallLocation"));
        }
        uint64_t bytes = 0;
        std::string listing;
        Listing(m_model.folder, listing, &bytes);
        DWORD kb = 0;
        TestRegistry::ReadDword(kEntryKey, "EstimatedSize", kb);
        if (!m_model.folderGone &&
            (uint64_t(kb) * 1024 * 4 < bytes || uint64_t(kb) * 1024 > bytes * 4))
        {
            Broke("the entry's size is in KB",
                  std::to_string(kb) + " KB for " + std::to_string(bytes) + " bytes");
        }
    }

    // After an uninstall and a restart nothing of the product or the setup is left.
    ++m_rulesChecked;
    if (!m_model.installed && m_model.bootSinceUninstall)
    {
        for (const std::string& copy : m_copies)
        {
            if (TestFiles::Exists(copy))
            {
                Broke("an uninstall and a restart leave nothing", copy + " is there");
            }
        }
        if (m_nt && TestFiles::Exists(m_copyFolder))
        {
            Broke("an uninstall and a restart leave nothing", m_copyFolder + " is there");
        }
        for (const std::string& op : PendingOps())
        {
            if (op.find(Lower(m_windows)) != std::string::npos ||
                (!m_model.folder.empty() && op.find(m_model.folder) != std::string::npos))
            {
                Broke("an uninstall and a restart leave nothing", "still waiting: " + op);
            }
        }
        if (!m_model.folder.empty() && TestFiles::Exists(Program(m_model.folder, m_nt)))
        {
            Broke("an uninstall and a restart leave nothing",
                  m_model.folder + " holds the program");
        }
    }

    // A new folder typed on a local disk is taken at once.
    ++m_rulesChecked;
    if (!m_typedNewJudged.empty())
    {
        Broke("a new local folder is taken at once", m_typedNewJudged);
    }

    // No message says what did not happen or stands broken; the questions whose Yes removes
    // or goes on regardless default to No.
    ++m_rulesChecked;
    for (const TestSupport::Shown& box : m_shown)
    {
        const std::string& text = box.text;
        for (std::string::size_type at = 0; at < text.size();)
        {
            const std::string::size_type end = text.find('\n', at);
            const std::string line = text.substr(at, end == std::string::npos ? end : end - at);
            at = end == std::string::npos ? text.size() : end + 1;
            if (line.find_first_not_of(" \r.,;:") == std::string::npos && !line.empty() &&
                line.find_first_of(".,;:") != std::string::npos)
            {
                Broke("messages read whole", "a line of punctuation in \"" + text + "\"");
            }
        }
        if (text.find("\n\n\n") != std::string::npos || text.find(" .") != std::string::npos)
        {
            Broke("messages read whole", "an empty insert in \"" + text + "\"");
        }
        const bool destructive = text.find(Opening(IDS_UNINSTALL_QUERY)) == 0 ||
                                 text.find(Opening(IDS_UNINSTALL_QUERY_KEPT)) == 0 ||
                                 text.find(Opening(IDS_SPACE_SHORT)) == 0;
        if (destructive && (box.type & MB_DEFMASK) != MB_DEFBUTTON2)
        {
            Broke("questions default to No", "\"" + text + "\"");
        }
    }
    std::vector<std::string> broken;
    broken.swap(m_broken);
    return broken;
}

struct CExplorerMachine::Saved
{
    struct File
    {
        std::string path;
        bool folder;
        DWORD attributes;
        std::shared_ptr<const std::vector<uint8_t>> bytes; // shared by machines alike
    };
    struct Value
    {
        std::string key, name;
        DWORD type;
        std::vector<BYTE> data;
    };
    Model model;
    std::vector<File> files; // folders before what they hold
    std::vector<Value> values;
    std::vector<BYTE> pending; // PendingFileRenameOperations as stored, UTF-16
    bool hasPending = false;
};

namespace
{
// Saved machines hold mostly the same files: each content is kept once, or a long walk runs out
// of memory.
std::shared_ptr<const std::vector<uint8_t>> Pooled(std::vector<uint8_t> bytes)
{
    static std::unordered_multimap<uint64_t, std::weak_ptr<const std::vector<uint8_t>>> pool;
    uint64_t hash = 1469598103934665603ull;
    for (uint8_t byte : bytes)
    {
        hash = (hash ^ byte) * 1099511628211ull;
    }
    const auto range = pool.equal_range(hash);
    for (auto it = range.first; it != range.second; ++it)
    {
        const std::shared_ptr<const std::vector<uint8_t>> kept = it->second.lock();
        if (kept && *kept == bytes)
        {
            return kept;
        }
    }
    auto made = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    pool.emplace(hash, made);
    return made;
}

void SaveTree(const std::string& path, std::vector<CExplorerMachine::Saved::File>& files)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    {
        return;
    }
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    files.push_back({path, folder, attributes,
                     Pooled(folder ? std::vector<uint8_t>() : TestFiles::ReadBytes(path))});
    for (const std::string& name : folder ? TestFiles::List(path, "*") : std::vector<std::string>())
    {
        if (name != "." && name != "..")
        {
            SaveTree(path + "\\" + name, files);
        }
    }
}

void SaveKey(const std::string& path, std::vector<CExplorerMachine::Saved::Value>& values)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return;
    }
    values.push_back({path, std::string(), REG_NONE, {}}); // the key itself, values or not
    for (DWORD i = 0;; ++i)
    {
        char name[256];
        DWORD nameSize = sizeof(name), type = 0, size = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        {
            break;
        }
        std::vector<BYTE> data(size + 2);
        nameSize = sizeof(name);
        RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data.data(), &size);
        data.resize(size);
        values.push_back({path, name, type, data});
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i)
    {
        char name[256];
        DWORD nameSize = sizeof(name);
        if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
        {
            break;
        }
        subkeys.push_back(name);
    }
    RegCloseKey(key);
    for (const std::string& subkey : subkeys)
    {
        SaveKey(path + "\\" + subkey, values);
    }
}
} // namespace

std::shared_ptr<const CExplorerMachine::Saved> CExplorerMachine::Save() const
{
    auto saved = std::make_shared<Saved>();
    saved->model = m_model;
    char profile[MAX_PATH] = "";
    GetEnvironmentVariableA("USERPROFILE", profile, sizeof(profile));
    std::vector<std::string> paths = {"C:\\Nimbus",
                                      kStudio,
                                      kData,
                                      kElsewhere,
                                      "C:\\TarpanLT",
                                      m_copyFolder,
                                      m_windows + "\\WININIT.INI",
                                      std::string(profile) + "\\Explorer Keep.txt"};
    paths.insert(paths.end(), m_copies.begin(), m_copies.end());
    paths.insert(paths.end(), m_systemFiles.begin(), m_systemFiles.end());
    for (const std::string& folder : TemporaryFolders())
    {
        for (const std::string& name : TestFiles::List(folder, "$tmp*.tmp"))
        {
            paths.push_back(folder + "\\" + name);
        }
    }
    for (const std::string& path : paths)
    {
        SaveTree(path, saved->files);
    }
    SaveKey("Software\\Pellmor", saved->values);
    SaveKey(kEntryKey, saved->values);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) == 0)
    {
        DWORD size = 0;
        if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr,
                             &size) == 0)
        {
            saved->pending.resize(size);
            RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                             saved->pending.data(), &size);
            saved->hasPending = true;
        }
        RegCloseKey(key);
    }
    return saved;
}

void CExplorerMachine::Restore(const Saved& saved)
{
    Clean();
    for (const Saved::File& file : saved.files)
    {
        if (file.folder)
        {
            CreateDirectoryA(file.path.c_str(), nullptr);
        }
        else
        {
            HANDLE handle = CreateFileA(file.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle == INVALID_HANDLE_VALUE)
            {
                Broke("harness",
                      "cannot put back " + file.path + ", error " + std::to_string(GetLastError()));
            }
            DWORD written = 0;
            WriteFile(handle, file.bytes->data(), static_cast<DWORD>(file.bytes->size()), &written,
                      nullptr);
            CloseHandle(handle);
        }
        SetFileAttributesA(file.path.c_str(), file.attributes);
    }
    for (const Saved::Value& value : saved.values)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, value.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
        {
            continue;
        }
        if ((value.type != REG_NONE || !value.name.empty()) &&
            RegSetValueExA(key, value.name.c_str(), 0, value.type, value.data.data(),
                           static_cast<DWORD>(value.data.size())) != ERROR_SUCCESS)
        {
            Broke("harness", "cannot put back " + value.key + ":" + value.name);
        }
        RegCloseKey(key);
    }
    if (saved.hasPending)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) == 0)
        {
            RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                           saved.pending.data(), static_cast<DWORD>(saved.pending.size()));
            RegCloseKey(key);
        }
    }
    Redirect(saved.model.offline ? kOfflineShare : nullptr);
    m_model = saved.model;
}
