#include "SweepWorld.h"

#include "FaultState.h"
#include "TestRegistry.h"
#include "config/UninstallEntry.h"
#include "framework/Messages.h"
#include "framework/ProgressReport.h"
#include "framework/SpecialFolders.h"
#include "framework/resource.h"
#include "install/PackageTable.h"
#include "install/ReplaceRules.h"
#include "install/SetupCopy.h"
#include "package/PackageFile.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>

namespace
{
using Answer = CSweepWorld::Variant::Answer;

const char kRoot[] = "C:\\FaultSweep";
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingRenames[] = "PendingFileRenameOperations";
const char kInstallKey[] = "Software\\Pellmor\\Prompter Install";
const char kTemporaryFilesKey[] = "Software\\Pellmor\\Prompter Install\\Temporary Files";
const std::string kEntryKey =
    std::string(UninstallEntry::kParentKey) + "\\" + UninstallEntry::kName;
// Another key of the maker's, which the uninstall leaves alone.
const char kSiblingKey[] = "Software\\Pellmor\\Keep";

// Other programs' boot-time work on NT, which no run of the setup may lose or change: a
// move naming paths outside the code page, a replacing move, a deletion.
const wchar_t* const kOthersRequests[][2] = {
    {L"\\??\\C:\\Other\\\u65B0.tmp", L"\\??\\C:\\Other\\\u540D\u524D.dll"},
    {L"\\??\\C:\\Other\\new.dll", L"!\\??\\C:\\Other\\old.dll"},
    {L"\\??\\C:\\Other\\stale.log", L""},
};
// And on 9x, around the section the setup adds to.
const char kWininitHead[] = "[boot]\r\nshell=Explorer.exe\r\n[Rename]\r\n"
                            "NUL=C:\\OTHER\\OLD.DLL\r\nC:\\OTHER\\NEW.DLL=C:\\OTHER\\NEW.TMP\r\n";
const char kWininitTail[] = "[386Enh]\r\ndevice=C:\\OTHER\\OTHER.VXD\r\n";
// The same with blank lines in [rename], and an older text behind a Ctrl-Z that an editor
// left when it wrote a shorter one: longer than the pair of lines the setup adds.
const char kWininitHeadWithBlanks[] =
    "[boot]\r\nshell=Explorer.exe\r\n[Rename]\r\n\r\nNUL=C:\\OTHER\\OLD.DLL\r\n\r\n"
    "C:\\OTHER\\NEW.DLL=C:\\OTHER\\NEW.TMP\r\n";
const char kWininitOldText[] =
    "\x1A[386Enh]\r\ndevice=C:\\Other Program\\Old Driver.vxd\r\n[rename]\r\n"
    "C:\\Other Program\\Old Library.dll=C:\\Other Program\\Old Library.tmp\r\n"
    "C:\\Other Program\\Old Viewer.exe=C:\\Other Program\\Old Viewer.tmp\r\n"
    "C:\\Other Program\\Old Helper.dll=C:\\Other Program\\Old Helper.tmp\r\n"
    "C:\\Other Program\\Old Control.ocx=C:\\Other Program\\Old Control.tmp\r\n";

std::string Lower(std::string text)
{
    for (char& c : text)
    {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Both canonical.
bool Below(const std::string& path, const std::string& folder)
{
    return path == folder ||
           (StartsWith(path, folder) && path.size() > folder.size() && path[folder.size()] == '\\');
}

// The long form of a path; a file that is not there takes its folder's.
std::string LongPath(const std::string& path)
{
    char buffer[MAX_PATH * 2] = "";
    DWORD length = GetLongPathNameA(path.c_str(), buffer, sizeof(buffer));
    if (length > 0 && length < sizeof(buffer))
    {
        return std::string(buffer, length);
    }
    const std::string::size_type slash = path.find_last_of('\\');
    if (slash == std::string::npos)
    {
        return path;
    }
    length = GetLongPathNameA(path.substr(0, slash).c_str(), buffer, sizeof(buffer));
    return length > 0 && length < sizeof(buffer) ? std::string(buffer, length) + path.substr(slash)
                                                 : path;
}

std::string Narrow(const std::wstring& wide)
{
    if (wide.empty())
    {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], size,
                        nullptr, nullptr);
    return text;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    return TestFiles::WriteText(path, std::string(bytes.begin(), bytes.end()));
}

std::string Ansi(const CPackageCatalogEntry& entry)
{
    const std::u16string name(entry.GetName(), entry.GetNameLength());
    return std::string(name.begin(), name.end()); // the sample's names are plain ASCII
}

bool IsTemporaryName(const std::string& name)
{
    const std::string lower = Lower(name);
    return StartsWith(lower, "$tmp") && lower.size() > 8 &&
           lower.compare(lower.size() - 4, 4, ".tmp") == 0;
}

// The lines of WININIT.INI as its reader at boot takes them: up to a Ctrl-Z.
std::vector<std::string> SplitLines(const std::string& bytes)
{
    const std::string text = bytes.substr(0, bytes.find('\x1A'));
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size())
    {
        const std::string::size_type end = text.find('\n', start);
        std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
        {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::string Trim(const std::string& text)
{
    const std::string::size_type first = text.find_first_not_of(" \t");
    return first == std::string::npos
               ? std::string()
               : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> NonBlankLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    for (const std::string& line : SplitLines(bytes))
    {
        if (!Trim(line).empty())
        {
            lines.push_back(line);
        }
    }
    return lines;
}

// A full path whose every element is one 8.3 name.
bool IsShortPath(const std::string& path)
{
    if (path.size() < 4 || !std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':' ||
        path[2] != '\\')
    {
        return false;
    }
    for (std::string::size_type start = 3; start <= path.size();)
    {
        const std::string::size_type end = std::min(path.find('\\', start), path.size());
        const std::string element = path.substr(start, end - start);
        const std::string::size_type dot = element.find('.');
        const std::string base = element.substr(0, dot);
        const std::string extension = dot == std::string::npos ? "" : element.substr(dot + 1);
        if (base.empty() || base.size() > 8 || extension.size() > 3 ||
            (dot != std::string::npos && extension.empty()) ||
            extension.find('.') != std::string::npos ||
            element.find_first_of(" \"*+,/:;<=>?[]|") != std::string::npos)
        {
            return false;
        }
        start = end + 1;
    }
    return true;
}

// "target=source" or "NUL=file", each path 8.3.
bool IsShortRequest(const std::string& line)
{
    const std::string::size_type equals = line.find('=');
    if (equals == std::string::npos)
    {
        return false;
    }
    const std::string target = Trim(line.substr(0, equals));
    return (Lower(target) == "nul" || IsShortPath(target)) &&
           IsShortPath(Trim(line.substr(equals + 1)));
}

// Marks in `current` what `before` held, in order, and returns the rest; `lost` gets what
// of `before` is not there any more.
template <typename T, typename Key>
std::vector<T> Unmatched(const std::vector<T>& before, const std::vector<T>& current, Key key,
                         std::vector<const T*>& lost)
{
    std::vector<T> rest;
    std::size_t next = 0;
    for (const T& item : current)
    {
        if (next < before.size() && key(item) == key(before[next]))
        {
            ++next;
        }
        else
        {
            rest.push_back(item);
        }
    }
    for (; next < before.size(); ++next)
    {
        lost.push_back(&before[next]);
    }
    return rest;
}

// A message box must give a reason a person can act on, never a success.
void CheckReasons(const CSweepApp& app, std::vector<std::string>& broken)
{
    const std::string success = TestFiles::SystemText(ERROR_SUCCESS);
    for (const TestSupport::Shown& box : app.shown)
    {
        std::string reason = box.text;
        for (const char* marker : {" - ", " because "})
        {
            const std::string::size_type at = box.text.rfind(marker);
            if (at != std::string::npos)
            {
                reason = box.text.substr(at + std::char_traits<char>::length(marker));
                break;
            }
        }
        reason.erase(reason.find_last_not_of(" .\r\n") + 1);
        if (reason.empty() || box.text.find(success) != std::string::npos)
        {
            broken.push_back("a message without a real reason: \"" + box.text + "\"");
        }
    }
}
} // namespace

int CSweepApp::DoMessageBox(const char* text, UINT type, HWND owner)
{
    Fault::detail::CQuiet quiet;
    return CTestApp::DoMessageBox(text, type, owner);
}

const std::vector<CSweepWorld::Variant>& CSweepWorld::InstallVariants()
{
    using Crashed = Variant::Crashed;
    static const std::vector<Variant> variants = {
        {"plain", false, Crashed::No, Answer::Yes, true, false},
        {"typed with a trailing backslash after a crashed run", true, Crashed::HeldFileWaits,
         Answer::Yes, true, false},
        {"every question answered No", false, Crashed::No, Answer::No, true, false},
        {"no question can be shown", false, Crashed::No, Answer::NotShown, true, false},
        {"a crashed run's boot-time move holds the only copy", false, Crashed::OnlyCopyWaits,
         Answer::Yes, false, false},
        {"WININIT.INI gets shorter when merged", false, Crashed::No, Answer::Yes, true, true},
        {"the entry's uninstall left the copy's deletion for the boot", false, Crashed::No,
         Answer::Yes, false, false, false, false, true},
        // An upgrade keeps the folder an older build recorded, which no dialog judged.
        {"typed holding the user's temporary folder", false, Crashed::No, Answer::Yes, false, false,
         true},
    };
    return variants;
}

const std::vector<CSweepWorld::Variant>& CSweepWorld::UninstallVariants()
{
    // No file held, so that a clean uninstall leaves nothing and tells nothing but its end.
    static const std::vector<Variant> variants = {
        {"plain", false, Variant::Crashed::No, Answer::Yes, false, false},
        {"recorded with a trailing backslash", true, Variant::Crashed::No, Answer::Yes, false,
         false},
        {"recorded holding the user's temporary folder", false, Variant::Crashed::No, Answer::Yes,
         false, false, true},
        {"started from the entry, the copy running", false, Variant::Crashed::No, Answer::Yes,
         false, false, false, true},
        {"holding a link to the folder beside it", false, Variant::Crashed::No, Answer::Yes, false,
         false, false, false, false, true},
    };
    return variants;
}

CSweepWorld::CSweepWorld(bool windowsNT)
    : m_nt(windowsNT), m_variant(InstallVariants().front()),
      m_medium(TestFiles::FromUnixPath(std::string(KELVARIN_MEDIUM_DIR) + "/Ardent/")),
      m_install(std::string(kRoot) + "\\Nimbus"), m_temp(m_install + "\\Temp"),
      m_link(m_install + "\\Zz Elsewhere")
{
    char folder[MAX_PATH] = "";
    m_system.assign(folder, GetSystemDirectoryA(folder, sizeof(folder)));
    GetWindowsDirectoryA(folder, sizeof(folder));
    m_wininit = std::string(folder) + "\\WININIT.INI";
    m_windows = folder;
    m_copy = Canonical(SetupCopy::Path(m_nt, folder));
    m_copyFolder = m_nt ? Canonical(SetupCopy::Folder(m_nt, folder)) : std::string();
    m_linkFolders[0] = SpecialFolders::GetPath(CSIDL_COMMON_PROGRAMS);
    m_linkFolders[1] = SpecialFolders::GetPath(CSIDL_COMMON_DESKTOPDIRECTORY);

    CreateDirectoryA(kRoot, nullptr);
    CreateDirectoryA(m_install.c_str(), nullptr);
    m_setupImage.Reset(
        LoadLibraryExA((m_medium + "Setup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    for (const PackageTable::Placement& placement :
         PackageTable::Placements(m_nt, m_install, m_system))
    {
        CPackageFile package(false);
        if (!package.Open(m_medium + placement.package, false))
        {
            continue;
        }
        const CPackageCatalog catalog = package.GetCatalog();
        for (int i = 0; i < catalog.GetCount(); ++i)
        {
            const CPackageCatalogEntry entry = catalog.GetEntry(i);
            std::vector<uint8_t> bytes;
            if (entry.GetKind() == CPackageCatalogEntry::kKindFile &&
                (entry.GetUnpackedSize() == 0 || package.ExtractToMemory(i, bytes)))
            {
                m_expected[Canonical(placement.target + "\\" + Ansi(entry))] = bytes;
            }
        }
    }

    m_expected[m_copy] = TestFiles::ReadBytes(m_medium + "Setup.exe");

    const std::vector<uint8_t> older =
        TestFiles::ReadBytes(TestFiles::FromUnixPath(KELVARIN_OLDER_DLL));
    auto text = [](const char* t)
    { return std::vector<uint8_t>(t, t + std::char_traits<char>::length(t)); };
    const std::string program = m_install + "\\Programs\\Scroll" + (m_nt ? "NT" : "95") + ".exe";
    m_planted = {
        {m_install + "\\Documents\\Readme.txt", text("The user's own notes.\r\n"), false, false},
        {m_install + "\\Configuration\\Default.cfg", text("speed=fast\r\n"), true, false},
        {program, older, false, true},
        {m_install + "\\Drivers\\RERER8\\io8ctl.dll", older, false, true}, // held open
    };
    m_heldPath = m_planted.back().path;
}

CSweepWorld::~CSweepWorld()
{
    // Nothing of the sweep's is left for a later test's boot processing to carry out.
    m_holder.reset();
    if (m_nt)
    {
        TestRegistry::DeleteValue(kSessionManager, kPendingRenames);
    }
    else
    {
        DeleteFileA(m_wininit.c_str());
    }
    RemoveCopyAndEntry();
}

void CSweepWorld::RemoveCopyAndEntry()
{
    m_copyHolder.reset();
    TestRegistry::DeleteKeyTree(kEntryKey);
    SetFileAttributesA(m_copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(m_copy.c_str());
    const std::string folder = ReplaceRules::FolderOf(m_copy);
    for (const std::string& name : TestFiles::List(folder, "$tmp*.tmp"))
    {
        DeleteFileA((folder + "\\" + name).c_str());
    }
    if (!m_copyFolder.empty())
    {
        RemoveDirectoryA(m_copyFolder.c_str());
    }
}

std::string CSweepWorld::TypedPath() const
{
    return m_variant.trailingBackslash ? m_install + "\\" : m_install;
}

std::string CSweepWorld::Canonical(const std::string& path)
{
    std::string text = path;
    if (StartsWith(text, "\\??\\") || StartsWith(text, "\\\\?\\"))
    {
        text.erase(0, 4);
    }
    std::replace(text.begin(), text.end(), '/', '\\');
    std::string collapsed;
    for (char c : text)
    {
        // A share's two leading separators are its name, not a doubling.
        if (c == '\\' && !collapsed.empty() && collapsed.back() == '\\' && collapsed.size() > 1)
        {
            continue;
        }
        collapsed += c;
    }
    while (collapsed.size() > 3 && collapsed.back() == '\\')
    {
        collapsed.pop_back();
    }
    // Only a short name ("PROGRA~1") has a long form to look up; asking costs a round trip.
    return Lower(collapsed.find('~') != std::string::npos ? LongPath(collapsed) : collapsed);
}

std::vector<std::string> CSweepWorld::TargetFolders() const
{
    std::vector<std::string> folders;
    for (const PackageTable::Placement& placement :
         PackageTable::Placements(m_nt, m_install, m_system))
    {
        folders.push_back(placement.target);
    }
    folders.push_back(ReplaceRules::FolderOf(m_copy));
    return folders;
}

void CSweepWorld::Plant()
{
    TestRegistry::DeleteKeyTree("Software\\Pellmor");
    for (const std::string& folder : m_linkFolders)
    {
        DeleteFileA((folder + "\\Ardent.lnk").c_str());
    }
    if (!m_variant.holdsFile)
    {
        m_holder.reset();
    }
    // A held file cannot go; everything around it does. A link goes as itself.
    if (TestFiles::Exists(m_link))
    {
        TestFiles::RemoveFolderLink(m_link);
    }
    TestFiles::RemoveTree(m_install);
    for (const auto& expected : m_expected)
    {
        if (Below(expected.first, Canonical(m_system)))
        {
            SetFileAttributesA(expected.first.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(expected.first.c_str());
        }
    }
    for (const std::string& name : TestFiles::List(m_system, "$tmp*.tmp"))
    {
        DeleteFileA((m_system + "\\" + name).c_str());
    }
    RemoveCopyAndEntry();
    CreateDirectoryA(kRoot, nullptr);
    for (const char* folder :
         {"", "\\Documents", "\\Configuration", "\\Programs", "\\Drivers", "\\Drivers\\RERER8"})
    {
        CreateDirectoryA((m_install + folder).c_str(), nullptr);
    }
    if (m_variant.holdsTemp)
    {
        CreateDirectoryA(m_temp.c_str(), nullptr);
        TestFiles::WriteText(m_temp + "\\Work.tmp", "the user's");
    }
    for (const Planted& file : m_planted)
    {
        if (file.path == m_heldPath && m_holder)
        {
            continue;
        }
        WriteBytes(file.path, file.bytes);
        if (file.readOnly)
        {
            SetFileAttributesA(file.path.c_str(), FILE_ATTRIBUTE_READONLY);
        }
    }
    if (m_variant.holdsFile && !m_holder)
    {
        m_holder.reset(new TestFiles::CFileHolder(m_heldPath));
    }
    PlantBootRequests();
    if (m_variant.crashed != Variant::Crashed::No)
    {
        PlantCrashedRun();
    }
    if (m_variant.copyDeletionWaits)
    {
        PlantCopyDeletion();
    }
    m_baseline = BootOps();
    m_wininitBefore = m_nt ? std::string() : TestFiles::ReadText(m_wininit);
    m_questions.clear();
}

std::string CSweepWorld::OthersWininit(const std::string& ours) const
{
    return m_variant.wininitShrinks ? kWininitHeadWithBlanks + ours + kWininitTail + kWininitOldText
                                    : kWininitHead + ours + kWininitTail;
}

void CSweepWorld::PlantBootRequests()
{
    if (!m_nt)
    {
        SetFileAttributesA(m_wininit.c_str(), FILE_ATTRIBUTE_NORMAL);
        TestFiles::WriteText(m_wininit, OthersWininit(""));
        return;
    }
    std::wstring value;
    for (const auto& request : kOthersRequests)
    {
        for (const wchar_t* text : request)
        {
            value += text;
            value += L'\0';
        }
    }
    value += L'\0';
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) == 0)
    {
        RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(value.data()),
                       static_cast<DWORD>(value.size() * sizeof(wchar_t)));
        RegCloseKey(key);
    }
}

// The run before, typed as this one, made and recorded a temporary file for the driver,
// registered its boot-time move, and ended before it took the record back: the driver was
// held, or it had deleted it and failed to move the new one in.
void CSweepWorld::PlantCrashedRun()
{
    const bool onlyCopy = m_variant.crashed == Variant::Crashed::OnlyCopyWaits;
    const std::string target = m_install + "\\Drivers\\RERER8\\io8ctl.dll";
    const std::string temporary = m_install + "\\Drivers\\RERER8\\$tmp0001.tmp";
    WriteBytes(temporary, m_expected.at(Canonical(target)));
    TestRegistry::WriteString(kTemporaryFilesKey, TypedPath() + "\\Drivers\\RERER8\\$tmp0001.tmp",
                              "");
    if (onlyCopy)
    {
        DeleteFileA(target.c_str());
    }
    if (m_nt)
    {
        MoveFileExA(temporary.c_str(), target.c_str(),
                    MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING);
        return;
    }
    char shortFolder[MAX_PATH] = "", shortTemporary[MAX_PATH] = "";
    GetShortPathNameA((m_install + "\\Drivers\\RERER8").c_str(), shortFolder, MAX_PATH);
    GetShortPathNameA(temporary.c_str(), shortTemporary, MAX_PATH);
    TestFiles::WriteText(m_wininit, OthersWininit(std::string(shortFolder) +
                                                  "\\io8ctl.dll=" + shortTemporary + "\r\n"));
}

// The copy the entry started deleted the product and asked the boot to delete the copy, then
// its folder, as a running program cannot delete itself.
void CSweepWorld::PlantCopyDeletion()
{
    if (!m_copyFolder.empty())
    {
        CreateDirectoryA(m_copyFolder.c_str(), nullptr);
    }
    TestFiles::WriteText(m_copy, "an older setup");
    if (m_nt)
    {
        MoveFileExA(m_copy.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        MoveFileExA(m_copyFolder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }
    char shortCopy[MAX_PATH] = "";
    GetShortPathNameA(m_copy.c_str(), shortCopy, MAX_PATH);
    TestFiles::WriteText(m_wininit, OthersWininit("NUL=" + std::string(shortCopy) + "\r\n"));
}

bool CSweepWorld::PlantInstalled()
{
    Plant();
    CSweepApp app;
    Prepare(app);
    std::string escaped;
    if (!RunInstall(app, escaped))
    {
        return false;
    }
    // What the uninstall must remove besides the install, and what it must leave: the
    // predecessor's key, another key of the maker's, the user's files in and beside it.
    TestRegistry::WriteString("Software\\Pellmor\\Tarpan", "Version", "1.0");
    TestRegistry::WriteString(kSiblingKey, "Kept", "yes");
    CreateDirectoryA((std::string(kRoot) + "\\Outside").c_str(), nullptr);
    if (m_variant.copyInUse)
    {
        // A copy nobody holds is no running copy: a holder that could not take it in time (a
        // busy machine) is started again, and a world without one is not planted.
        for (int attempt = 0; attempt < 3 && !(m_copyHolder && m_copyHolder->IsHolding());
             ++attempt)
        {
            m_copyHolder.reset(new TestFiles::CFileHolder(m_copy));
        }
        if (!m_copyHolder->IsHolding())
        {
            std::fprintf(stderr, "the running copy %s could not be held\n", m_copy.c_str());
            return false;
        }
    }
    // Listed last in the tree, so that its look is the uninstall's last one at attributes.
    std::string why;
    if (m_variant.holdsLink &&
        !TestFiles::MakeFolderLink(std::string(kRoot) + "\\Outside", m_link, why))
    {
        std::fprintf(stderr, "%s\n", why.c_str());
        return false;
    }
    return TestFiles::WriteText(std::string(kRoot) + "\\Outside\\Keep.txt", "not the product's") &&
           TestFiles::WriteText(m_install + "\\Documents\\Mine.txt", "mine");
}

void CSweepWorld::Prepare(CSweepApp& app)
{
    CSetupState& state = app.State();
    state.m_strSourceFolder = m_medium;
    state.m_strInstallPath = TypedPath();
    state.m_bArdent = TRUE;
    app.SetRecordModule(m_setupImage.Get());
    m_questions.clear();
    const Answer answer = m_variant.answer;
    app.SetReplaceQuestion(
        [this, answer](const std::string& question)
        {
            // The dialog's stand-in: none of its work is the setup's.
            Fault::detail::CQuiet quiet;
            const ReplaceRules::Answer given = answer == Answer::Yes ? ReplaceRules::Answer::Yes
                                               : answer == Answer::No
                                                   ? ReplaceRules::Answer::No
                                                   : ReplaceRules::AnswerFor(-1, false, false);
            const std::string::size_type open = question.find('"');
            const std::string::size_type close =
                open == std::string::npos ? open : question.find('"', open + 1);
            const std::string path =
                close == std::string::npos ? "" : question.substr(open + 1, close - open - 1);
            // What the world answered, not what the setup made of it: a question never
            // shown was answered by nobody.
            m_questions.push_back({Canonical(path), answer == Answer::Yes});
            return given;
        });
}

bool CSweepWorld::RunInstall(CSweepApp& app, std::string& escaped)
{
    // A progress report that records nothing: the recording would count as the setup's.
    class CQuietProgress : public IProgressReport
    {
    public:
        void SetStatus(UINT, UINT) override {}
        void SetLine2(UINT) override {}
        void SetLine2Text(const std::string&) override {}
    } progress;
    // Nothing here allocates: the run may be armed already.
    char saved[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", saved, sizeof(saved));
    if (m_variant.holdsTemp)
    {
        SetEnvironmentVariableA("TMP", m_temp.c_str());
    }
    bool done = false;
    try
    {
        // As the setup runs them: the space question once the folder is taken (a drive with
        // room asks nothing), then, in the progress window, the check of the medium's packages
        // and the install.
        done = app.ConfirmSpace(nullptr, app.State().m_strInstallPath) &&
               app.CheckPackages(progress) && app.Install(progress);
    }
    catch (const std::exception& e)
    {
        escaped = e.what();
    }
    catch (...)
    {
        escaped = "an exception of no known kind";
    }
    SetEnvironmentVariableA("TMP", saved[0] ? saved : nullptr);
    return done;
}

bool CSweepWorld::RunUninstall(CSweepApp& app, std::string& escaped)
{
    app.State().m_bArdent = TRUE;
    // Nothing here allocates: the run may be armed already.
    char saved[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", saved, sizeof(saved));
    if (m_variant.holdsTemp)
    {
        SetEnvironmentVariableA("TMP", m_temp.c_str());
    }
    bool done = false;
    try
    {
        done = app.Uninstall();
    }
    catch (const std::exception& e)
    {
        escaped = e.what();
    }
    catch (...)
    {
        escaped = "an exception of no known kind";
    }
    SetEnvironmentVariableA("TMP", saved[0] ? saved : nullptr);
    return done;
}

std::vector<CSweepWorld::BootOp> CSweepWorld::BootOps() const
{
    std::vector<BootOp> ops;
    if (m_nt)
    {
        // Read as the system holds it: through the wide API, so that nothing is lost.
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != 0)
        {
            return ops;
        }
        DWORD type = 0, size = 0;
        std::wstring data;
        if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &size) ==
            0)
        {
            data.assign(size / sizeof(wchar_t) + 1, L'\0');
            RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type,
                             reinterpret_cast<BYTE*>(&data[0]), &size);
            data.resize(size / sizeof(wchar_t));
        }
        RegCloseKey(key);
        std::vector<std::wstring> strings;
        for (std::size_t at = 0; at < data.size();)
        {
            const std::wstring one(data.c_str() + at);
            strings.push_back(one);
            at += one.size() + 1;
        }
        for (std::size_t i = 0; i + 1 < strings.size(); i += 2)
        {
            BootOp op;
            const std::wstring pair = strings[i] + L'\0' + strings[i + 1] + L'\0';
            op.raw.assign(reinterpret_cast<const char*>(pair.data()),
                          pair.size() * sizeof(wchar_t));
            op.source = Canonical(Narrow(strings[i]));
            std::string target = Narrow(strings[i + 1]);
            op.replaces = StartsWith(target, "!");
            op.target = target.empty() ? "" : Canonical(op.replaces ? target.substr(1) : target);
            ops.push_back(op);
        }
        return ops;
    }
    bool inRename = false;
    for (const std::string& line : SplitLines(TestFiles::ReadText(m_wininit)))
    {
        const std::string trimmed = Trim(line);
        if (StartsWith(trimmed, "["))
        {
            inRename = Lower(trimmed) == "[rename]";
            continue;
        }
        const std::string::size_type equals = trimmed.find('=');
        if (!inRename || equals == std::string::npos)
        {
            continue;
        }
        const std::string left = trimmed.substr(0, equals), right = trimmed.substr(equals + 1);
        // WININIT.INI replaces a target that is there.
        if (Lower(left) == "nul")
        {
            ops.push_back({line, Canonical(right), "", true});
        }
        else
        {
            ops.push_back({line, Canonical(right), Canonical(left), true});
        }
    }
    return ops;
}

std::vector<CSweepWorld::BootOp> CSweepWorld::OurOps(const std::vector<BootOp>& ops,
                                                     std::vector<std::string>& broken) const
{
    std::vector<const BootOp*> lost;
    const std::vector<BootOp> ours = Unmatched(
        m_baseline, ops, [](const BootOp& op) { return op.raw; }, lost);
    for (const BootOp* op : lost)
    {
        broken.push_back("a boot-time request that was there before the run is gone or changed: " +
                         op->source + " -> " + (op->target.empty() ? "(delete)" : op->target));
    }
    if (!m_nt)
    {
        // Every other line of WININIT.INI stays too, byte for byte; every line the setup adds
        // is one request of [rename] that names each path in its 8.3 form, since the boot step
        // runs before long names exist.
        std::vector<std::string> now;
        std::vector<std::pair<std::string, bool>> sections; // each line, and in [rename]
        bool inRename = false;
        for (const std::string& line : SplitLines(TestFiles::ReadText(m_wininit)))
        {
            const std::string trimmed = Trim(line);
            if (!trimmed.empty())
            {
                inRename = trimmed[0] == '[' ? Lower(trimmed) == "[rename]" : inRename;
                now.push_back(line);
                sections.push_back({line, inRename});
            }
        }
        std::vector<const std::string*> gone;
        Unmatched(
            NonBlankLines(OthersWininit("")), now, [](const std::string& line) { return line; },
            gone);
        for (const std::string* line : gone)
        {
            broken.push_back("another program's line is gone from WININIT.INI: " + *line);
        }
        std::vector<std::pair<std::string, bool>> before;
        for (const std::string& line : NonBlankLines(m_wininitBefore))
        {
            before.push_back({line, false});
        }
        std::vector<const std::pair<std::string, bool>*> ignored;
        for (const auto& added : Unmatched(
                 before, sections,
                 [](const std::pair<std::string, bool>& line) { return line.first; }, ignored))
        {
            const bool header = Lower(Trim(added.first)) == "[rename]";
            if (!header && !(added.second && IsShortRequest(added.first)))
            {
                broken.push_back("WININIT.INI gains a line its boot step cannot carry out: " +
                                 added.first);
            }
        }
    }
    return ours;
}

CSweepWorld::FileState CSweepWorld::Now(const std::string& path) const
{
    FileState state;
    state.exists = TestFiles::Exists(path);
    if (state.exists)
    {
        // The held file cannot be read, and holds what was planted.
        state.bytes = path == Canonical(m_heldPath) && m_holder ? m_planted.back().bytes
                                                                : TestFiles::ReadBytes(path);
    }
    return state;
}

CSweepWorld::AfterBoot CSweepWorld::Boot(const std::vector<BootOp>& ops) const
{
    AfterBoot files;
    auto state = [&](const std::string& path) -> FileState&
    {
        auto found = files.find(path);
        return found != files.end() ? found->second : files.emplace(path, Now(path)).first->second;
    };
    for (const BootOp& op : ops)
    {
        if (op.target.empty())
        {
            state(op.source).exists = false;
        }
        // A move fails at boot when its source is gone, or its target is there and it
        // may not replace it.
        else if (state(op.source).exists && (op.replaces || !state(op.target).exists))
        {
            state(op.target) = state(op.source);
            state(op.source).exists = false;
        }
    }
    return files;
}

CSweepWorld::FileState CSweepWorld::Lookup(const AfterBoot& after, const std::string& path) const
{
    const auto found = after.find(path);
    return found != after.end() ? found->second : Now(path);
}

std::vector<std::string> CSweepWorld::RecordedTemporaries() const
{
    std::vector<std::string> paths;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTemporaryFilesKey, 0, KEY_READ, &key) != 0)
    {
        return paths;
    }
    char name[1024];
    for (DWORD index = 0;; ++index)
    {
        DWORD length = sizeof(name);
        if (RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != 0)
        {
            break;
        }
        paths.push_back(Canonical(std::string(name, length)));
    }
    RegCloseKey(key);
    return paths;
}

std::vector<std::string>
CSweepWorld::CheckBootRequests(bool told, const std::vector<Fault::Change>* changes) const
{
    std::vector<std::string> broken;
    const std::vector<BootOp> ops = BootOps();
    const std::vector<BootOp> ours = OurOps(ops, broken);
    for (std::size_t i = 0; i < ours.size(); ++i)
    {
        if (!ours[i].target.empty())
        {
            continue;
        }
        // Expects the mended setup: on NT a file in use is replaced by one request that
        // moves the new file over it, never by a deletion and a move.
        if (m_nt)
        {
            broken.push_back("a boot-time request of the setup's deletes " + ours[i].source);
            continue;
        }
        const auto replaced = std::find_if(ours.begin() + i + 1, ours.end(),
                                           [&](const BootOp& later) {
                                               return later.target == ours[i].source &&
                                                      TestFiles::Exists(later.source);
                                           });
        if (replaced == ours.end())
        {
            broken.push_back("WININIT.INI deletes " + ours[i].source +
                             " at boot with nothing to take its place");
        }
    }
    std::map<std::string, std::string> moves; // source -> target
    const std::string install = Canonical(m_install), system = Canonical(m_system);
    for (const BootOp& op : ops)
    {
        if (op.target.empty())
        {
            continue;
        }
        moves[op.source] = op.target;
        if ((Below(op.source, install) || Below(op.source, system) ||
             Below(op.source, ReplaceRules::FolderOf(m_copy))) &&
            !TestFiles::Exists(op.source))
        {
            broken.push_back("a boot-time move names " + op.source + ", which is not there");
        }
    }
    const std::vector<std::string> recorded = RecordedTemporaries();
    for (const std::string& folder : TargetFolders())
    {
        for (const std::string& name : TestFiles::List(folder, "$tmp*.tmp"))
        {
            const std::string path = Canonical(folder + "\\" + name);
            const std::vector<uint8_t> bytes = TestFiles::ReadBytes(path);
            const auto move = moves.find(path);
            if (move != moves.end())
            {
                const auto expected = m_expected.find(move->second);
                if (expected == m_expected.end() || bytes != expected->second)
                {
                    broken.push_back(path + " is moved onto " + move->second +
                                     " at boot but does not hold its complete new content");
                }
                continue;
            }
            // After a failed run a file no move waits for may stay: the only copy of its file
            // (its old target gone), recorded and told (expects the mended setup: such a copy
            // is never deleted), or one the system refused to delete, recorded for the next run.
            const std::string parent = path.substr(0, path.find_last_of('\\'));
            const bool onlyCopy = std::any_of(
                m_expected.begin(), m_expected.end(),
                [&](const std::pair<const std::string, std::vector<uint8_t>>& file)
                {
                    return file.first.substr(0, file.first.find_last_of('\\')) == parent &&
                           file.second == bytes && !TestFiles::Exists(file.first);
                });
            const bool isRecorded =
                std::find(recorded.begin(), recorded.end(), path) != recorded.end();
            const bool refused =
                changes && std::any_of(changes->begin(), changes->end(),
                                       [&](const Fault::Change& change) {
                                           return change.api == Fault::Api::DeleteFileA &&
                                                  Canonical(change.path) == path;
                                       });
            if (!changes || !isRecorded || !(onlyCopy ? told : refused))
            {
                broken.push_back(path + " is left with no boot-time move waiting for it");
            }
        }
    }
    return broken;
}

bool CSweepWorld::KeptAsOnlyCopy(const std::string& target, const std::vector<uint8_t>& bytes) const
{
    const std::string folder = target.substr(0, target.find_last_of('\\'));
    const std::vector<std::string> recorded = RecordedTemporaries();
    for (const std::string& name : TestFiles::List(folder, "$tmp*.tmp"))
    {
        const std::string path = Canonical(folder + "\\" + name);
        if (std::find(recorded.begin(), recorded.end(), path) != recorded.end() &&
            TestFiles::ReadBytes(path) == bytes)
        {
            return true;
        }
    }
    return false;
}

bool CSweepWorld::IsAllowedFileChange(const std::string& path) const
{
    const std::string file = Canonical(path);
    // The setup's copy and its temporary files beside it; on NT its folder of its own.
    const bool copy = file == m_copy || (!m_copyFolder.empty() && file == m_copyFolder) ||
                      (ReplaceRules::FolderOf(file) == ReplaceRules::FolderOf(m_copy) &&
                       IsTemporaryName(file.substr(file.find_last_of('\\') + 1)));
    return copy || Below(file, Canonical(m_install)) || Below(file, Canonical(m_system)) ||
           Below(file, Canonical(m_linkFolders[0])) || Below(file, Canonical(m_linkFolders[1])) ||
           file == Canonical(m_wininit);
}

bool CSweepWorld::WasAsked(const std::string& path, bool& replace) const
{
    bool asked = false;
    for (const Question& question : m_questions)
    {
        if (question.path == path)
        {
            asked = true;
            replace = question.replace;
        }
    }
    return asked;
}

std::string CSweepWorld::LinkTarget(const std::string& link) const
{
    const TestFiles::Link read = TestFiles::ReadLink(link, false);
    return read.loaded ? read.path : "(unreadable)";
}

// A run that says it succeeded left the whole install: every file of the family's
// packages in place or waiting for its boot-time move, the registry record, the links.
// Expects the mended setup: a step that could not write one of them fails and says so.
std::vector<std::string> CSweepWorld::CheckComplete(const CSweepApp& app) const
{
    std::vector<std::string> broken;
    // A file that cannot be deleted now and whose replacement at boot could not be arranged
    // stays as it was, told.
    auto toldOf = [&](UINT id)
    {
        const std::string text = Messages::LoadText(id);
        const std::string start = text.substr(0, text.find('%'));
        return std::any_of(app.shown.begin(), app.shown.end(),
                           [&](const TestSupport::Shown& box)
                           { return StartsWith(box.text, start); });
    };
    const bool toldNotReplaced = toldOf(IDS_BOOT_REPLACE_FAILED) || toldOf(IDS_WININIT_FAILED);
    const AfterBoot boot = Boot(BootOps());
    for (const auto& [path, bytes] : m_expected)
    {
        const FileState state = Lookup(boot, path);
        const std::vector<uint8_t>& after = state.bytes;
        if (!state.exists)
        {
            broken.push_back(path + " is missing after an install that reported success");
            continue;
        }
        bool replace = true;
        const bool declined = WasAsked(path, replace) && !replace;
        const auto planted =
            std::find_if(m_planted.begin(), m_planted.end(),
                         [&](const Planted& file) { return Canonical(file.path) == path; });
        // A read-only file whose attribute could not be cleared cannot be deleted either:
        // it waits for the boot as one in use does.
        const bool undeletable = (path == Canonical(m_heldPath) && m_holder) ||
                                 (planted != m_planted.end() && planted->readOnly);
        const bool kept = (declined || (undeletable && toldNotReplaced)) &&
                          planted != m_planted.end() && after == planted->bytes;
        if (after != bytes && !kept)
        {
            broken.push_back(path + " does not hold the new file after an install that "
                                    "reported success");
        }
    }
    DWORD type = 0;
    std::vector<BYTE> data;
    std::string recorded;
    if (TestRegistry::ReadRaw(kInstallKey, "Install Path", type, data))
    {
        recorded.assign(reinterpret_cast<const char*>(data.data()),
                        strnlen(reinterpret_cast<const char*>(data.data()), data.size()));
    }
    if (Canonical(recorded) != Canonical(m_install))
    {
        broken.push_back("the registry records \"" + recorded + "\" as the install folder");
    }
    DWORD build = 0;
    if (!TestRegistry::ReadDword(kInstallKey, "Build Number", build) ||
        build != CKelvarinApp::kBuildNumber)
    {
        broken.push_back("the registry records no build number " +
                         std::to_string(CKelvarinApp::kBuildNumber));
    }
    // The entry Windows lists the product by starts the copy, checked with the files above.
    const std::string command = TestRegistry::ReadString(kEntryKey, "UninstallString");
    if (command != "\"" + SetupCopy::Path(m_nt, m_windows) + "\"" ||
        TestRegistry::ReadString(kEntryKey, "DisplayName") !=
            Messages::LoadText(IDS_ENTRY_NAME_ARDENT) ||
        Canonical(TestRegistry::ReadString(kEntryKey, "InstallLocation")) != Canonical(m_install))
    {
        broken.push_back("the entry in the list of installed programs is missing or incomplete: "
                         "it starts " +
                         command);
    }
    const std::string program =
        Canonical(m_install + "\\Programs\\Scroll" + (m_nt ? "NT" : "95") + ".exe");
    for (const std::string& folder : m_linkFolders)
    {
        const std::string link = folder + "\\Ardent.lnk";
        if (!TestFiles::Exists(link))
        {
            broken.push_back("the link " + link + " is missing");
        }
        else if (Canonical(LinkTarget(link)) != program)
        {
            broken.push_back("the link " + link + " leads to \"" + LinkTarget(link) + "\"");
        }
    }
    return broken;
}

std::vector<std::string> CSweepWorld::CheckInstall(bool succeeded, const CSweepApp& app,
                                                   const std::vector<Fault::Change>& changes) const
{
    std::vector<std::string> broken;
    const bool told = !app.shown.empty();
    if (!succeeded && !told)
    {
        broken.push_back("the install failed without telling the user");
    }
    CheckReasons(app, broken);
    const AfterBoot boot = Boot(BootOps());
    for (const Planted& file : m_planted)
    {
        const std::string path = Canonical(file.path);
        const auto expected = m_expected.find(path);
        const bool isNew = expected != m_expected.end();
        auto known = [&](const std::vector<uint8_t>& bytes)
        { return bytes == file.bytes || (isNew && bytes == expected->second); };
        const FileState state = Lookup(boot, path);
        const bool existsAfterBoot = state.exists;
        const std::vector<uint8_t>& afterBoot = state.bytes;
        // Gone with its new content kept as the recorded only copy, and told, the file is
        // not lost: the user can take it from there.
        if (!existsAfterBoot && !(told && isNew && KeptAsOnlyCopy(path, expected->second)))
        {
            broken.push_back(file.path + (TestFiles::Exists(file.path) ? " would be gone after boot"
                                                                       : " is missing"));
        }
        else if (existsAfterBoot && !known(afterBoot))
        {
            broken.push_back(file.path +
                             " would be neither the user's nor the new file after boot");
        }
        const bool held = file.path == m_heldPath && m_holder;
        if (!held && TestFiles::Exists(file.path) && !known(TestFiles::ReadBytes(file.path)))
        {
            broken.push_back(file.path + " holds neither the user's nor the complete new file");
        }
        // The user's file without a version is replaced only on the user's Yes (expects the
        // mended setup: a file whose attributes could not be read is not taken as absent).
        bool replace = false;
        const bool agreed = WasAsked(path, replace) && replace;
        const bool replaced = isNew && expected->second != file.bytes && existsAfterBoot &&
                              afterBoot == expected->second;
        if (!file.versioned && replaced && !agreed)
        {
            broken.push_back(file.path + ", the user's file without a version, is replaced "
                                         "although nobody said Yes");
        }
    }
    for (const std::string& fault : CheckBootRequests(told, &changes))
    {
        broken.push_back(fault);
    }
    for (const Fault::Change& change : changes)
    {
        if (change.path.empty())
        {
            continue;
        }
        const bool registry = StartsWith(change.path, "HK");
        const std::string lower = Lower(change.path);
        const std::string sessionManager = Lower(std::string("HKLM\\") + kSessionManager);
        const bool allowed =
            registry ? StartsWith(lower, "hklm\\software\\pellmor\\") ||
                           lower == "hklm\\software\\pellmor" ||
                           Below(lower.substr(0, lower.find(':')), Lower("HKLM\\" + kEntryKey)) ||
                           lower == sessionManager ||
                           lower == sessionManager + ":" + Lower(kPendingRenames)
                     : IsAllowedFileChange(change.path);
        if (!allowed)
        {
            broken.push_back(std::string(Fault::Name(change.api)) + " changed " + change.path +
                             ", outside what the setup may touch");
        }
        // A folder of the tree opened for writing is one whose rights were being changed.
        if (m_variant.holdsTemp && change.api == Fault::Api::CreateFileA &&
            TestFiles::IsFolder(change.path))
        {
            broken.push_back("the rights of " + change.path +
                             " were changed, in a folder that holds the user's temporary folder");
        }
    }
    if (succeeded)
    {
        for (const std::string& fault : CheckComplete(app))
        {
            broken.push_back(fault);
        }
    }
    return broken;
}

std::vector<std::string>
CSweepWorld::CheckUninstall(const CSweepApp& app, const std::vector<Fault::Change>& changes) const
{
    std::vector<std::string> broken;
    const std::string install = Canonical(m_install);
    const std::string product = Lower(std::string("HKLM\\") + kInstallKey);
    const std::string tarpan = "hklm\\software\\pellmor\\tarpan";
    const std::string entry = Lower("HKLM\\" + kEntryKey);
    for (const Fault::Change& change : changes)
    {
        // A deleting boot-time request names no target.
        if (change.path.empty())
        {
            continue;
        }
        const std::string name = Fault::Name(change.api);
        if (StartsWith(change.path, "HK"))
        {
            // "key:value" names a value of the key.
            std::string key = Lower(change.path);
            key = key.substr(0, key.find(':'));
            const bool inProduct = Below(key, product) || Below(key, tarpan) || Below(key, entry);
            const bool opens = change.api == Fault::Api::RegCreateKeyExA ||
                               change.api == Fault::Api::RegOpenKeyExA ||
                               change.api == Fault::Api::RegOpenKeyExW;
            const bool parent = key == "hklm\\software\\pellmor" ||
                                key == Lower(std::string("HKLM\\") + UninstallEntry::kParentKey);
            if (!inProduct && !(opens && parent))
            {
                broken.push_back(name + " changed " + change.path + ", outside the product's keys");
            }
            continue;
        }
        const bool removes =
            change.api == Fault::Api::DeleteFileA || change.api == Fault::Api::RemoveDirectoryA ||
            change.api == Fault::Api::MoveFileA || change.api == Fault::Api::MoveFileExA ||
            change.api == Fault::Api::SetFileAttributesA;
        const std::string path = Canonical(change.path);
        const bool link = path == Canonical(m_linkFolders[0] + "\\Ardent.lnk") ||
                          path == Canonical(m_linkFolders[1] + "\\Ardent.lnk");
        const bool copy = path == m_copy || (!m_copyFolder.empty() && path == m_copyFolder);
        if (removes && !Below(path, install) && !link && !copy)
        {
            broken.push_back(name + " touched " + change.path +
                             ", outside the recorded install folder");
        }
        if (removes && Below(path, install) && m_variant.holdsTemp)
        {
            broken.push_back(name + " touched " + change.path +
                             ", in a recorded folder that holds the user's temporary folder");
        }
    }
    if (m_variant.holdsTemp && !TestFiles::Exists(m_temp + "\\Work.tmp"))
    {
        broken.push_back("the user's temporary folder lost its file");
    }
    if (!TestFiles::Exists(std::string(kRoot) + "\\Outside\\Keep.txt"))
    {
        broken.push_back("a file beside the install folder is gone");
    }
    if (TestRegistry::CountValues(kSiblingKey) != 1)
    {
        broken.push_back(std::string("the maker's other key ") + kSiblingKey + " is gone");
    }

    // Expects the mended setup. What stays must be told: an uninstall that leaves the
    // product and says nothing but that it completed lets the user believe it is gone.
    std::vector<std::string> left;
    if (TestFiles::Exists(m_install))
    {
        left.push_back(m_install);
    }
    for (const std::string& key :
         {std::string(kInstallKey), std::string("Software\\Pellmor\\Tarpan"), kEntryKey})
    {
        if (TestRegistry::KeyExists(key))
        {
            left.push_back("HKLM\\" + key);
        }
    }
    // The copy and its folder may wait for the boot, in that order, and nothing else of
    // the setup's may: the uninstall replaces nothing.
    std::vector<std::string> waiting;
    for (const BootOp& op : OurOps(BootOps(), broken))
    {
        const bool ours =
            op.target.empty() &&
            (op.source == m_copy || (!m_copyFolder.empty() && op.source == m_copyFolder));
        if (!ours || (op.source == m_copy && !waiting.empty()))
        {
            broken.push_back("the uninstall asks the boot for " + op.source +
                             (op.target.empty() ? " (delete)" : " -> " + op.target));
        }
        waiting.push_back(op.source);
    }
    for (const std::string& path : {m_copy, m_copyFolder})
    {
        if (!path.empty() && TestFiles::Exists(path) &&
            std::find(waiting.begin(), waiting.end(), path) == waiting.end())
        {
            left.push_back(path);
        }
    }
    for (const std::string& folder : m_linkFolders)
    {
        if (TestFiles::Exists(folder + "\\Ardent.lnk"))
        {
            left.push_back(folder + "\\Ardent.lnk");
        }
    }
    const std::string completed = Messages::LoadText(IDS_UNINSTALL_COMPLETE);
    const bool told =
        std::any_of(app.shown.begin(), app.shown.end(),
                    [&](const TestSupport::Shown& box) { return box.text != completed; });
    if (!left.empty() && !told)
    {
        broken.push_back("the uninstall left " + left.front() +
                         (left.size() > 1 ? " and more" : "") + " behind and told nobody");
    }
    CheckReasons(app, broken);
    return broken;
}

CSweepWorld::Snapshot CSweepWorld::Take() const
{
    Snapshot snapshot;
    std::vector<std::string> folders = {m_install};
    while (!folders.empty())
    {
        const std::string folder = folders.back();
        folders.pop_back();
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
        {
            continue;
        }
        do
        {
            const std::string name = found.cFileName;
            const std::string path = folder + "\\" + name;
            if (name == "." || name == ".." || IsTemporaryName(name) || path == m_heldPath)
            {
                continue;
            }
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            {
                folders.push_back(path);
            }
            else
            {
                snapshot.files[Canonical(path)] = TestFiles::ReadBytes(path);
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    const std::string system = Canonical(m_system);
    for (const auto& expected : m_expected)
    {
        if (Below(expected.first, system) || expected.first == m_copy)
        {
            snapshot.files[expected.first] = TestFiles::ReadBytes(expected.first);
        }
    }
    snapshot.entryCommand = TestRegistry::ReadString(kEntryKey, "UninstallString");
    DWORD type = 0;
    std::vector<BYTE> data;
    if (TestRegistry::ReadRaw(kInstallKey, "Install Path", type, data))
    {
        snapshot.recordedPath = Canonical(reinterpret_cast<const char*>(data.data()));
    }
    DWORD build = 0;
    TestRegistry::ReadDword(kInstallKey, "Build Number", build);
    snapshot.recordedBuild = build;
    snapshot.links = TestFiles::Exists(m_linkFolders[0] + "\\Ardent.lnk") &&
                     TestFiles::Exists(m_linkFolders[1] + "\\Ardent.lnk");
    return snapshot;
}

std::vector<std::string> CSweepWorld::Compare(const Snapshot& expected, const Snapshot& actual)
{
    std::vector<std::string> broken;
    for (const auto& file : expected.files)
    {
        const auto found = actual.files.find(file.first);
        if (found == actual.files.end())
        {
            broken.push_back(file.first + " is missing");
        }
        else if (found->second != file.second)
        {
            broken.push_back(file.first + " differs from a clean install's");
        }
    }
    for (const auto& file : actual.files)
    {
        if (!expected.files.count(file.first))
        {
            broken.push_back(file.first + " is there, which a clean install does not leave");
        }
    }
    if (actual.recordedPath != expected.recordedPath ||
        actual.recordedBuild != expected.recordedBuild)
    {
        broken.push_back("the registry record differs from a clean install's");
    }
    if (actual.links != expected.links)
    {
        broken.push_back("the links differ from a clean install's");
    }
    if (actual.entryCommand != expected.entryCommand)
    {
        broken.push_back("the entry starts " + actual.entryCommand + ", not " +
                         expected.entryCommand);
    }
    return broken;
}
