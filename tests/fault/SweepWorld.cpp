#include "SweepWorld.h"

#include "framework/ProgressReport.h"
#include "TestRegistry.h"
#include "framework/SpecialFolders.h"
#include "install/PackageTable.h"
#include "package/PackageFile.h"

#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <exception>

namespace
{
const char kRoot[] = "C:\\FaultSweep";
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingRenames[] = "PendingFileRenameOperations";
// Another program's boot-time work, which no run of the setup may lose.
const char kOthersRename[] = "NUL=C:\\OTHER\\OLD.DLL";
const std::string kWininitBaseline =
    std::string("[boot]\r\nshell=Explorer.exe\r\n[rename]\r\n") + kOthersRename + "\r\n";

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

bool Below(const std::string& path, const std::string& folder)
{
    const std::string p = Lower(path), f = Lower(folder);
    return p == f || (StartsWith(p, f) && p.size() > f.size() && p[f.size()] == '\\');
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

// One boot-time operation: a move of `source` onto `target`, or its deletion.
struct BootOp
{
    std::string source;
    std::string target; // empty: delete
};

std::vector<BootOp> RegisteredOps(bool nt, const std::string& wininit)
{
    std::vector<BootOp> ops;
    if (nt)
    {
        DWORD type = 0;
        std::vector<BYTE> data;
        if (!TestRegistry::ReadRaw(kSessionManager, kPendingRenames, type, data))
        {
            return ops;
        }
        std::vector<std::string> strings;
        for (std::size_t at = 0; at < data.size();)
        {
            const std::string one(reinterpret_cast<const char*>(data.data()) + at);
            strings.push_back(one);
            at += one.size() + 1;
        }
        auto plain = [](std::string path)
        {
            if (StartsWith(path, "!"))
            {
                path.erase(0, 1);
            }
            return StartsWith(path, "\\??\\") ? path.substr(4) : path;
        };
        for (std::size_t i = 0; i + 1 < strings.size(); i += 2)
        {
            ops.push_back({Lower(LongPath(plain(strings[i]))),
                           strings[i + 1].empty() ? "" : Lower(LongPath(plain(strings[i + 1])))});
        }
        return ops;
    }
    bool inRename = false;
    std::string text = TestFiles::ReadText(wininit);
    std::string::size_type start = 0;
    while (start < text.size())
    {
        std::string::size_type end = text.find('\n', start);
        std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        line.erase(line.find_last_not_of("\r \t") + 1);
        if (StartsWith(line, "["))
        {
            inRename = Lower(line) == "[rename]";
            continue;
        }
        const std::string::size_type equals = line.find('=');
        if (!inRename || equals == std::string::npos)
        {
            continue;
        }
        const std::string left = line.substr(0, equals), right = line.substr(equals + 1);
        if (Lower(left) == "nul")
        {
            ops.push_back({Lower(LongPath(right)), ""});
        }
        else
        {
            ops.push_back({Lower(LongPath(right)), Lower(LongPath(left))});
        }
    }
    return ops;
}
} // namespace

CSweepWorld::CSweepWorld(bool windowsNT)
    : m_nt(windowsNT),
      m_medium(TestFiles::FromUnixPath(std::string(KELVARIN_MEDIUM_DIR) + "/Ardent/")),
      m_install(std::string(kRoot) + "\\Nimbus")
{
    char folder[MAX_PATH] = "";
    m_system.assign(folder, GetSystemDirectoryA(folder, sizeof(folder)));
    GetWindowsDirectoryA(folder, sizeof(folder));
    m_wininit = std::string(folder) + "\\WININIT.INI";
    m_linkFolders[0] = SpecialFolders::GetPath(CSIDL_COMMON_PROGRAMS);
    m_linkFolders[1] = SpecialFolders::GetPath(CSIDL_COMMON_DESKTOPDIRECTORY);

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
                m_expected[Lower(placement.target + "\\" + Ansi(entry))] = bytes;
            }
        }
    }

    const std::vector<uint8_t> older =
        TestFiles::ReadBytes(TestFiles::FromUnixPath(KELVARIN_OLDER_DLL));
    auto text = [](const char* t)
    { return std::vector<uint8_t>(t, t + std::char_traits<char>::length(t)); };
    m_planted = {
        {m_install + "\\Documents\\Readme.txt", text("The user's own notes.\r\n"), false},
        {m_install + "\\Configuration\\Default.cfg", text("speed=fast\r\n"), true},
        {m_install + "\\Programs\\Scroll" + (m_nt ? "NT" : "95") + ".exe", older, false},
        {m_install + "\\Drivers\\RERER8\\io8ctl.dll", older, false}, // held open
    };
    m_heldPath = m_planted.back().path;
}

std::vector<std::string> CSweepWorld::TargetFolders() const
{
    std::vector<std::string> folders;
    for (const PackageTable::Placement& placement :
         PackageTable::Placements(m_nt, m_install, m_system))
    {
        folders.push_back(placement.target);
    }
    return folders;
}

void CSweepWorld::Plant()
{
    TestRegistry::DeleteKeyTree("Software\\Pellmor");
    for (const std::string& folder : m_linkFolders)
    {
        DeleteFileA((folder + "\\Ardent.lnk").c_str());
    }
    // The held file cannot go; everything around it does.
    TestFiles::RemoveTree(m_install);
    for (const auto& expected : m_expected)
    {
        if (Below(expected.first, m_system))
        {
            SetFileAttributesA(expected.first.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(expected.first.c_str());
        }
    }
    for (const std::string& name : TestFiles::List(m_system, "$tmp*.tmp"))
    {
        DeleteFileA((m_system + "\\" + name).c_str());
    }
    if (m_nt)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) == 0)
        {
            RegDeleteValueA(key, kPendingRenames);
            RegCloseKey(key);
        }
    }
    else
    {
        SetFileAttributesA(m_wininit.c_str(), FILE_ATTRIBUTE_NORMAL);
        TestFiles::WriteText(m_wininit, kWininitBaseline);
    }
    CreateDirectoryA(kRoot, nullptr);
    for (const char* folder :
         {"", "\\Documents", "\\Configuration", "\\Programs", "\\Drivers", "\\Drivers\\RERER8"})
    {
        CreateDirectoryA((m_install + folder).c_str(), nullptr);
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
    if (!m_holder)
    {
        m_holder.reset(new TestFiles::CFileHolder(m_heldPath));
    }
}

void CSweepWorld::Prepare(TestSupport::CTestApp& app) const
{
    CSetupState& state = app.State();
    state.m_strSourceFolder = m_medium;
    state.m_strInstallPath = m_install;
    state.m_bArdent = TRUE;
    app.SetReplaceQuestion([](const std::string&) { return ReplaceRules::Answer::Yes; });
}

bool CSweepWorld::RunInstall(TestSupport::CTestApp& app, std::string& escaped)
{
    // A progress report that records nothing: the recording would count as the setup's.
    class CQuietProgress : public IProgressReport
    {
    public:
        void SetStatus(UINT, UINT) override {}
        void SetLine2(UINT) override {}
        void SetLine2Text(const std::string&) override {}
    } progress;
    try
    {
        return app.Install(progress);
    }
    catch (const std::exception& e)
    {
        escaped = e.what();
    }
    catch (...)
    {
        escaped = "an exception of no known kind";
    }
    return false;
}

bool CSweepWorld::PlantInstalled()
{
    Plant();
    TestSupport::CTestApp app;
    Prepare(app);
    std::string escaped;
    return RunInstall(app, escaped);
}

bool CSweepWorld::RunUninstall(TestSupport::CTestApp& app, std::string& escaped)
{
    app.State().m_bArdent = TRUE;
    try
    {
        return app.Uninstall();
    }
    catch (const std::exception& e)
    {
        escaped = e.what();
    }
    catch (...)
    {
        escaped = "an exception of no known kind";
    }
    return false;
}

std::map<std::string, std::string> CSweepWorld::RegisteredMoves() const
{
    std::map<std::string, std::string> moves;
    for (const BootOp& op : RegisteredOps(m_nt, m_wininit))
    {
        if (!op.target.empty())
        {
            moves[op.source] = op.target;
        }
    }
    return moves;
}

bool CSweepWorld::ContentAfterBoot(const std::string& path, std::vector<uint8_t>& bytes) const
{
    // Every file the boot-time operations touch, as it is now (the held file cannot be
    // read, and holds what was planted).
    std::map<std::string, std::pair<bool, std::vector<uint8_t>>> files;
    auto now = [&](const std::string& file) -> std::pair<bool, std::vector<uint8_t>>&
    {
        auto found = files.find(file);
        if (found == files.end())
        {
            const bool exists = TestFiles::Exists(file);
            std::vector<uint8_t> content;
            if (exists)
            {
                content =
                    file == Lower(m_heldPath) ? m_planted.back().bytes : TestFiles::ReadBytes(file);
            }
            found = files.emplace(file, std::make_pair(exists, content)).first;
        }
        return found->second;
    };
    for (const BootOp& op : RegisteredOps(m_nt, m_wininit))
    {
        if (op.target.empty())
        {
            now(op.source).first = false;
        }
        else if (now(op.source).first)
        {
            now(op.target) = now(op.source);
            now(op.source).first = false;
        }
    }
    const std::pair<bool, std::vector<uint8_t>>& result = now(Lower(path));
    bytes = result.second;
    return result.first;
}

std::vector<std::string> CSweepWorld::CheckTemporaries() const
{
    std::vector<std::string> broken;
    const std::map<std::string, std::string> moves = RegisteredMoves();
    for (const std::string& folder : TargetFolders())
    {
        for (const std::string& name : TestFiles::List(folder, "$tmp*.tmp"))
        {
            const std::string path = Lower(LongPath(folder + "\\" + name));
            const auto move = moves.find(path);
            if (move == moves.end())
            {
                broken.push_back(path + " is left with no boot-time move waiting for it");
                continue;
            }
            const auto expected = m_expected.find(move->second);
            if (expected == m_expected.end() || TestFiles::ReadBytes(path) != expected->second)
            {
                broken.push_back(path + " is moved onto " + move->second +
                                 " at boot but does not hold its complete new content");
            }
        }
    }
    for (const auto& move : moves)
    {
        if (Below(move.second, m_install) && !TestFiles::Exists(move.first))
        {
            broken.push_back("a boot-time move names " + move.first + ", which is not there");
        }
    }
    return broken;
}

bool CSweepWorld::IsAllowedFileChange(const std::string& path) const
{
    return Below(path, m_install) || Below(path, m_system) || Below(path, m_linkFolders[0]) ||
           Below(path, m_linkFolders[1]) || Lower(path) == Lower(m_wininit);
}

std::vector<std::string> CSweepWorld::CheckInstall(bool succeeded, const TestSupport::CTestApp& app,
                                                   const std::vector<Fault::Change>& changes) const
{
    std::vector<std::string> broken;
    if (!succeeded && app.shown.empty())
    {
        broken.push_back("the install failed without telling the user");
    }
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
    for (const Planted& file : m_planted)
    {
        const auto expected = m_expected.find(Lower(file.path));
        auto known = [&](const std::vector<uint8_t>& bytes) {
            return bytes == file.bytes ||
                   (expected != m_expected.end() && bytes == expected->second);
        };
        std::vector<uint8_t> afterBoot;
        const bool existsAfterBoot = ContentAfterBoot(file.path, afterBoot);
        if (!existsAfterBoot || !known(afterBoot))
        {
            broken.push_back(file.path +
                             " would be neither the user's nor the new file after boot");
        }
        const bool exists = TestFiles::Exists(file.path);
        if (file.path != m_heldPath && exists && !known(TestFiles::ReadBytes(file.path)))
        {
            broken.push_back(file.path + " holds neither the user's nor the complete new file");
        }
        if (!exists && !existsAfterBoot)
        {
            broken.push_back(file.path + " is missing");
        }
    }
    for (const std::string& temporary : CheckTemporaries())
    {
        broken.push_back(temporary);
    }
    for (const Fault::Change& change : changes)
    {
        if (change.path.empty())
        {
            continue;
        }
        const bool registry = StartsWith(change.path, "HK");
        const bool allowed =
            registry
                ? StartsWith(Lower(change.path), "hklm\\software\\pellmor\\") ||
                      Lower(change.path) == "hklm\\software\\pellmor" ||
                      Lower(change.path) == Lower(std::string("HKLM\\") + kSessionManager) ||
                      Lower(change.path) ==
                          Lower(std::string("HKLM\\") + kSessionManager + ":" + kPendingRenames)
                : IsAllowedFileChange(change.path);
        if (!allowed)
        {
            broken.push_back(std::string(Fault::Name(change.api)) + " changed " + change.path +
                             ", outside what the setup may touch");
        }
    }
    if (!m_nt && TestFiles::ReadText(m_wininit).find(kOthersRename) == std::string::npos)
    {
        broken.push_back("another program's boot-time rename is gone from WININIT.INI");
    }
    return broken;
}

std::vector<std::string>
CSweepWorld::CheckUninstall(const std::vector<Fault::Change>& changes) const
{
    std::vector<std::string> broken;
    for (const Fault::Change& change : changes)
    {
        const bool removes =
            change.api == Fault::Api::DeleteFileA || change.api == Fault::Api::RemoveDirectoryA ||
            change.api == Fault::Api::MoveFileA || change.api == Fault::Api::MoveFileExA ||
            change.api == Fault::Api::SetFileAttributesA;
        const bool link = Lower(change.path) == Lower(m_linkFolders[0] + "\\Ardent.lnk") ||
                          Lower(change.path) == Lower(m_linkFolders[1] + "\\Ardent.lnk");
        if (removes && !Below(change.path, m_install) && !link)
        {
            broken.push_back(std::string(Fault::Name(change.api)) + " touched " + change.path +
                             ", outside the recorded install folder");
        }
    }
    if (!TestFiles::Exists(std::string(kRoot) + "\\Outside\\Keep.txt"))
    {
        broken.push_back("a file beside the install folder is gone");
    }
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
                snapshot.files[Lower(path)] = TestFiles::ReadBytes(path);
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    for (const auto& expected : m_expected)
    {
        if (Below(expected.first, m_system))
        {
            snapshot.files[expected.first] = TestFiles::ReadBytes(expected.first);
        }
    }
    DWORD type = 0;
    std::vector<BYTE> data;
    if (TestRegistry::ReadRaw("Software\\Pellmor\\Prompter Install", "Install Path", type, data))
    {
        snapshot.recordedPath = reinterpret_cast<const char*>(data.data());
    }
    DWORD build = 0;
    TestRegistry::ReadDword("Software\\Pellmor\\Prompter Install", "Build Number", build);
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
    return broken;
}
