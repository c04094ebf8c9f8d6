// medium check: the medium as the installs of both platform families meet it.

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <map>
#include <memory>

#include "Commands.h"
#include "Medium.h"
#include "Platform.h"
#include "Report.h"
#include "SetupRecord.h"
#include "install/PackageTable.h"
#include "package/EntryName.h"
#include "package/EntryText.h"
#include "package/PackageFile.h"
#include "package/PeVersionInfo.h"

#ifdef PKGTOOL_DISC_IMAGES
#include "Iso.h"
#endif
#ifdef PKGTOOL_SIGNING
#include "Signing.h"
#endif

namespace Medium
{

namespace
{
using namespace Reporting;

// Where the placements lead; '<' and '>' cannot be part of a real path.
const char kInstallFolder[] = "<install>";
const char kSystemFolder[] = "<system>";

struct Family
{
    const char* name;
    bool windowsNT;
};
const Family kFamilies[] = {{"9x", false}, {"NT", true}};

// One thing that would go wrong at a customer's.
struct Finding
{
    std::string rule;
    std::vector<std::string> families;
    std::string package;
    std::u16string entry; // empty when the finding is about the whole package
    std::u16string reason;
};

struct Tally
{
    uint64_t files = 0;
    uint64_t bytes = 0;
};

struct Figures
{
    Tally productTree;
    Tally systemFolder;
};

std::u16string Text(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

// The system's text for the last error, in the system's own code page.
std::u16string LastErrorText()
{
    std::u16string text;
    Platform::ToUtf16(FileIo::ErrorText(FileIo::GetLastError()), &text);
    return text;
}

std::u16string NameOf(const CPackageCatalogEntry& entry)
{
    return std::u16string(entry.GetName(), entry.GetNameLength());
}

std::u16string VersionText(uint64_t version)
{
    return version == 0 ? u"none" : Text(EntryText::Version(version));
}

// A package of the medium as both families' installs meet it.
struct MediumPackage
{
    std::string name;
    std::vector<std::string> families;
    std::unique_ptr<CPackageFile> file; // null when it cannot be opened
    CPackageCatalog catalog;
};

class Checker
{
public:
    Checker(const std::string& path, const CheckOptions& options) : m_path(path), m_options(options)
    {
    }

    Verdict Run();
    void PrintText() const;
    void PrintJson() const;

private:
    void Add(const std::string& rule, const std::vector<std::string>& families,
             const std::string& package, const std::u16string& entry, const std::u16string& reason)
    {
        m_findings.push_back({rule, families, package, entry, reason});
    }

    Verdict Index();
    bool IndexFolder();
#ifdef PKGTOOL_DISC_IMAGES
    bool IndexImage();
#endif
    std::string PathOnMedium(const std::string& name) const;
    std::u16string Unreadable(const std::string& name) const;
    void ReadSetupBuild();
    void OpenPackages();
    void CheckPackage(MediumPackage& package);
    void CheckFileEntry(MediumPackage& package, int index, const CPackageCatalogEntry& entry);
    void CheckVersion(const MediumPackage& package, const CPackageCatalogEntry& entry,
                      const std::vector<uint8_t>& content);
    void WalkFamily(const Family& family, Figures* figures);
    void CheckRecord();
    void CheckSignature();
    void CheckLeftovers();

    std::string m_path; // the medium's folder or its disc image
    CheckOptions m_options;
    // Where to read the medium's files, by their upper-case names: Windows finds
    // them in any case.
    std::map<std::string, std::string> m_files;
    // Files of a disc image that cannot be read from it, and why.
    std::map<std::string, std::string> m_unreadable;
    // Every file at its root, as the medium spells it.
    std::vector<std::string> m_rootNames;
#ifdef PKGTOOL_DISC_IMAGES
    Iso::RootFiles m_disc;
#endif
    bool m_buildKnown = false;
    uint32_t m_build = 0;
    std::vector<MediumPackage> m_packages;
    std::vector<Finding> m_findings;
    Figures m_figures[2];
    // What is said of Setup.exe's record and signature, findings aside.
    std::vector<std::string> m_notes;
    SetupRecord::Found m_record = SetupRecord::Found::NoRoom;
    size_t m_recordRows = 0;
    // The signature: "unsigned", "verified", "refused" or "unchecked"; empty when the
    // setup is missing.
    std::string m_signature;
    std::string m_signer;
};

std::string Upper(std::string text)
{
    for (char& c : text)
    {
        c = AsciiUpper(c);
    }
    return text;
}

// A folder is the medium as the vendor builds it; a file is its disc image.
Verdict Checker::Index()
{
    Platform::FileInfo info;
    if (!Platform::Stat(m_path, &info))
    {
        Report(m_path);
        return Verdict::Unreadable;
    }
    if (info.isDirectory)
    {
        return IndexFolder() ? Verdict::Clean : Verdict::Unreadable;
    }
#ifdef PKGTOOL_DISC_IMAGES
    return IndexImage() ? Verdict::Clean : Verdict::Unreadable;
#else
    ReportPlain(m_path, "not a folder; reading a disc image is not in this build of pkgtool");
    return Verdict::NotInThisBuild;
#endif
}

bool Checker::IndexFolder()
{
    std::vector<std::string> names;
    std::string bad;
    if (!Platform::ListFolder(m_path, &names, &bad))
    {
        return Report(bad.empty() ? m_path : Platform::JoinPath(m_path, bad));
    }
    for (const std::string& name : names)
    {
        m_files.emplace(Upper(name), Platform::JoinPath(m_path, name));
    }
    m_rootNames = names;
    return true;
}

#ifdef PKGTOOL_DISC_IMAGES
// The image's root as Windows reads it from the disc; only the setup and the
// packages are read out of it.
bool Checker::IndexImage()
{
    Iso::Session session;
    if (!session.Started(m_path))
    {
        return false;
    }
    const auto wanted = [](const std::string& name)
    { return SameFileName(name, kSetupName) || !TableSpelling(name).empty(); };
    if (!m_disc.Load(m_path, wanted))
    {
        return false;
    }
    if (m_disc.Blocks() < m_disc.RecordedBlocks())
    {
        Add("image", {"9x", "NT"}, m_path, u"",
            u"the image holds " + Text(std::to_string(m_disc.Blocks())) + u" of the " +
                Text(std::to_string(m_disc.RecordedBlocks())) +
                u" blocks its volume descriptor records: it was cut short");
    }
    for (const Iso::RootFiles::File& file : m_disc.Files())
    {
        m_rootNames.push_back(file.name);
        if (!file.path.empty())
        {
            m_files.emplace(Upper(file.name), file.path);
        }
        else if (!file.failure.empty())
        {
            m_unreadable.emplace(Upper(file.name), file.failure);
        }
    }
    return true;
}
#endif

std::string Checker::PathOnMedium(const std::string& name) const
{
    auto found = m_files.find(Upper(name));
    return found == m_files.end() ? std::string() : found->second;
}

// Why a file of the disc image cannot be read from it; empty for any other.
std::u16string Checker::Unreadable(const std::string& name) const
{
    auto found = m_unreadable.find(Upper(name));
    std::u16string text;
    if (found != m_unreadable.end())
    {
        if (!Platform::ToUtf16(found->second, &text))
        {
            text = u"a read error";
        }
        text = u"cannot be read from the disc image (" + text + u")";
    }
    return text;
}

// The build is the third field of the setup's file version, as its version
// resource records it.
void Checker::ReadSetupBuild()
{
    const std::string path = PathOnMedium(kSetupName);
    PeVersionInfo::Info info;
    // A file the image holds but cannot give has no path either.
    const std::u16string unreadable = Unreadable(kSetupName);
    if (path.empty())
    {
        Add("setup", {"9x", "NT"}, kSetupName, u"",
            unreadable.empty() ? u"missing: the medium has no setup" : unreadable);
    }
    else if (!PeVersionInfo::ReadFromFile(path, &info))
    {
        Add("setup", {"9x", "NT"}, kSetupName, u"",
            u"no version resource to read its build from (" + LastErrorText() + u")");
    }
    else if (!info.hasFixedInfo)
    {
        Add("setup", {"9x", "NT"}, kSetupName, u"",
            u"no version resource with a file version to read its build from");
    }
    else
    {
        m_buildKnown = true;
        m_build = info.fileVersionLs >> 16;
    }
}

void Checker::OpenPackages()
{
    for (const std::string& name : TablePackages())
    {
        MediumPackage package;
        package.name = name;
        for (const Family& family : kFamilies)
        {
            for (const PackageTable::Placement& placement :
                 PackageTable::Placements(family.windowsNT, kInstallFolder, kSystemFolder))
            {
                if (placement.package == name)
                {
                    package.families.push_back(family.name);
                }
            }
        }
        const std::string path = PathOnMedium(name);
        const std::u16string unreadable = Unreadable(name);
        if (path.empty())
        {
            Add("missing", package.families, name, u"",
                (unreadable.empty() ? u"the medium lacks it" : unreadable) +
                    u": the install stops with message 20016");
        }
        else
        {
            package.file.reset(new CPackageFile(false));
            if (package.file->Open(path, false))
            {
                package.catalog = package.file->GetCatalog();
            }
            else
            {
                Add("missing", package.families, name, u"",
                    u"cannot be opened (" + LastErrorText() +
                        u"): the install stops with message 20016");
                package.file.reset();
            }
        }
        m_packages.push_back(std::move(package));
    }
}

void Checker::CheckVersion(const MediumPackage& package, const CPackageCatalogEntry& entry,
                           const std::vector<uint8_t>& content)
{
    PeVersionInfo::Info info;
    const bool read = PeVersionInfo::ReadFromMemory(content.data(), content.size(), &info);
    const uint64_t seen = read ? info.VersionSeenBySetup() : 0;
    const uint64_t recorded = entry.GetFileVersion();
    if (seen == recorded)
    {
        return;
    }
    std::u16string reason;
    if (read && info.hasFixedInfo && !info.hasTranslation)
    {
        reason = u"records version " + VersionText(recorded) +
                 u", but its version resource has no translation table: the setup reads the "
                 u"installed file as one without a version and asks before replacing it";
    }
    else if (recorded == 0)
    {
        reason = u"records no version, but the setup reads " + VersionText(seen) +
                 u" in the installed file and never replaces it";
    }
    else
    {
        reason = u"records version " + VersionText(recorded) + u", but the setup reads " +
                 VersionText(seen) + u" in the installed file";
    }
    Add("version", package.families, package.name, NameOf(entry), reason);
}

void Checker::CheckFileEntry(MediumPackage& package, int index, const CPackageCatalogEntry& entry)
{
    const std::u16string name = NameOf(entry);
    if (!EntryName::IsAcceptedFileName(name.data(), name.size(),
                                       EntryName::SystemCodePageRoundTrip))
    {
        Add("name", package.families, package.name, name,
            u"the setup refuses the name, which could leave the target folder (as stored or in "
            u"the ANSI code page): the install stops with message 20018");
        return;
    }
    std::vector<uint8_t> content;
    const bool hasContent = entry.GetDataOffset() != 0 && entry.GetStoredSize() != 0;
    if (hasContent && !package.file->ExtractToMemory(index, content))
    {
        Add("content", package.families, package.name, name,
            u"its content cannot be read (" + LastErrorText() +
                u"): the install stops with message 20022");
        return;
    }
    if (!hasContent && entry.GetUnpackedSize() != 0)
    {
        Add("content", package.families, package.name, name,
            u"the package holds no content for it: the install stops with message 20022");
        return;
    }
    CheckVersion(package, entry, content);
}

void Checker::CheckPackage(MediumPackage& package)
{
    if (!package.file)
    {
        return;
    }
    const uint32_t build = package.file->GetBuildNumber();
    if (m_buildKnown && build != m_build)
    {
        Add("build", package.families, package.name, u"",
            u"build " + Text(std::to_string(build)) + u", the setup's is " +
                Text(std::to_string(m_build)) + u": the install stops with message 20017");
    }
    Progress progress;
    for (int i = 0; i < package.catalog.GetCount(); ++i)
    {
        const CPackageCatalogEntry entry = package.catalog.GetEntry(i);
        progress.Show(static_cast<size_t>(i + 1), static_cast<size_t>(package.catalog.GetCount()),
                      package.name + ": " + Platform::ToDisplay(NameOf(entry)));
        switch (entry.GetKind())
        {
        case CPackageCatalogEntry::kKindFile:
            CheckFileEntry(package, i, entry);
            break;
        case CPackageCatalogEntry::kKindDirectory:
            break;
        default:
            Add("kind", package.families, package.name, NameOf(entry),
                u"an entry of kind " + Text(entry.GetKindName()) +
                    u", which the setup refuses: the install stops with message 20018");
        }
    }
}

// The path a file entry is written to, as Windows compares paths.
std::u16string TargetKey(const std::string& folder, const CPackageCatalogEntry& entry)
{
    std::u16string converted;
    EntryName::SystemCodePageRoundTrip(entry.GetName(), entry.GetNameLength(), &converted);
    std::u16string key = Text(folder) + u"\\" + converted;
    for (char16_t& c : key)
    {
        c = c == u'/' ? u'\\' : EntryName::FoldCase(c);
    }
    return key;
}

// Counts what one family's install writes and finds files written twice.
void Checker::WalkFamily(const Family& family, Figures* figures)
{
    std::map<std::u16string, std::pair<std::string, std::u16string>> writers;
    for (const PackageTable::Placement& placement :
         PackageTable::Placements(family.windowsNT, kInstallFolder, kSystemFolder))
    {
        for (const MediumPackage& package : m_packages)
        {
            if (package.name != placement.package || !package.file)
            {
                continue;
            }
            Tally& tally =
                placement.target == kSystemFolder ? figures->systemFolder : figures->productTree;
            for (int i = 0; i < package.catalog.GetCount(); ++i)
            {
                const CPackageCatalogEntry entry = package.catalog.GetEntry(i);
                if (entry.GetKind() != CPackageCatalogEntry::kKindFile ||
                    !EntryName::IsAcceptedFileName(entry.GetName(), entry.GetNameLength(),
                                                   EntryName::SystemCodePageRoundTrip))
                {
                    continue;
                }
                ++tally.files;
                tally.bytes += entry.GetUnpackedSize();
                const std::u16string key = TargetKey(placement.target, entry);
                auto earlier = writers.find(key);
                if (earlier != writers.end())
                {
                    Add("overlap", {family.name}, package.name, NameOf(entry),
                        u"writes " + Text(placement.target) + u"\\" + NameOf(entry) + u", which " +
                            Text(earlier->second.first) + u" entry '" + earlier->second.second +
                            u"' writes too: one of them is lost");
                    continue;
                }
                writers.emplace(key, std::make_pair(package.name, NameOf(entry)));
            }
        }
    }
}

// The message the setup stops with when a package disagrees with its record.
const char16_t* SetupMessage(SetupRecord::Disagreement::Kind kind)
{
    using Kind = SetupRecord::Disagreement::Kind;
    switch (kind)
    {
    case Kind::Unreadable:
        return u": the setup stops with message 20136";
    case Kind::NotRecorded:
        return u": the setup stops before it installs anything, with message 20135";
    case Kind::Shorter:
        return u": the setup stops before it installs anything, with message 20132";
    case Kind::Longer:
        return u": the setup stops before it installs anything, with message 20133";
    default:
        return u": the setup stops before it installs anything, with message 20134";
    }
}

// Each package on the medium against the record in Setup.exe, as the setup compares them
// before it changes anything. A signature vouches for the packages only through the
// record, so where one is asked for (--ca, --require-signature), a setup without a record,
// or with one of other packages, is a finding too.
void Checker::CheckRecord()
{
    const std::string setup = PathOnMedium(kSetupName);
    if (setup.empty())
    {
        return;
    }
    const bool vouching = m_options.requireSignature || !m_options.ca.empty();
    CPackageRecord record;
    std::string why;
    m_record = SetupRecord::Read(setup, &record, &why);
    switch (m_record)
    {
    case SetupRecord::Found::NoRoom:
    case SetupRecord::Found::Empty:
    {
        const std::string what =
            m_record == SetupRecord::Found::NoRoom
                ? "no room for a record of its packages (a setup of an older build)"
                : "an empty record of its packages (a setup that pkgtool medium build did not "
                  "put there)";
        if (vouching)
        {
            Add("record", {"9x", "NT"}, kSetupName, u"",
                Text(what) + u": the setup installs the packages without checking them, and "
                             u"its signature vouches for none of them");
        }
        else
        {
            m_notes.push_back(std::string(kSetupName) + ": " + what +
                              "; the setup installs without checking them first");
        }
        return;
    }
    case SetupRecord::Found::Unreadable:
    {
        std::u16string reason;
        Platform::ToUtf16(why, &reason);
        Add("setup", {"9x", "NT"}, kSetupName, u"",
            u"its record of the packages cannot be read (" + reason +
                u"): the setup stops with message 20138");
        return;
    }
    default:
        break;
    }
    m_recordRows = record.Rows().size();
    std::vector<SetupRecord::Package> present;
    for (const MediumPackage& package : m_packages)
    {
        const std::string path = PathOnMedium(package.name);
        if (!path.empty())
        {
            present.push_back({package.name, path});
        }
    }
    for (const SetupRecord::Disagreement& disagreement : SetupRecord::Compare(record, present))
    {
        std::u16string reason;
        Platform::ToUtf16(SetupRecord::Describe(disagreement), &reason);
        if (disagreement.kind != SetupRecord::Disagreement::Kind::NotOnMedium)
        {
            const auto& package = *std::find_if(m_packages.begin(), m_packages.end(),
                                                [&](const MediumPackage& p)
                                                { return p.name == disagreement.package; });
            Add("record", package.families, package.name, u"",
                reason + SetupMessage(disagreement.kind));
        }
        else if (!TableSpelling(disagreement.package).empty())
        {
            continue; // a package of the table that is missing, told as such
        }
        else if (vouching)
        {
            Add("record", {"9x", "NT"}, disagreement.package, u"",
                reason + u": the record the signature covers is not of this medium");
        }
        else
        {
            m_notes.push_back(disagreement.package + ": " + SetupRecord::Describe(disagreement));
        }
    }
}

// A copy pkgtool was writing when it was ended (a medium sign stopped by a kill it
// could not catch) would go on the disc, half a Setup.exe or worse.
void Checker::CheckLeftovers()
{
    for (const std::string& name : m_rootNames)
    {
        if (Platform::IsTemporaryName(name))
        {
            Add("leftover", {"9x", "NT"}, name, u"",
                u"a temporary file of pkgtool, left by a medium sign that was killed before it "
                u"could delete it: it does not belong on the medium; delete it");
        }
    }
}

// Who signed Setup.exe, and whether the signature holds.
void Checker::CheckSignature()
{
    const std::string setup = PathOnMedium(kSetupName);
    if (setup.empty())
    {
        return;
    }
#ifdef PKGTOOL_SIGNING
    Signing::Inspection inspection;
    const bool inspected = Signing::Inspect(setup, m_options.ca, &inspection);
    m_signer = inspection.signer;
    std::u16string problem;
    Platform::ToUtf16(inspection.problem, &problem);
    const std::string signer = inspection.signer.empty()
                                   ? "a certificate whose subject cannot be read"
                                   : inspection.signer;
    if (!inspected)
    {
        m_signature = "unchecked";
        if (!m_options.ca.empty() || m_options.requireSignature)
        {
            Add("signature", {"9x", "NT"}, kSetupName, u"",
                u"its signature cannot be checked: " + problem);
        }
        else
        {
            m_notes.push_back(std::string(kSetupName) +
                              ": its signature cannot be checked: " + inspection.problem);
        }
    }
    else if (!inspection.isSigned)
    {
        m_signature = "unsigned";
        if (m_options.requireSignature)
        {
            Add("signature", {"9x", "NT"}, kSetupName, u"",
                u"not signed, and --require-signature asks for a signature that verifies");
        }
        else
        {
            m_notes.push_back(std::string(kSetupName) +
                              ": not signed (pkgtool medium sign signs it)");
        }
    }
    else if (inspection.verified)
    {
        m_signature = "verified";
        m_notes.push_back(std::string(kSetupName) + ": signed by " + signer +
                          "; the signature verifies against " + inspection.against);
    }
    else
    {
        m_signature = "refused";
        std::u16string who;
        std::u16string against;
        Platform::ToUtf16(signer, &who);
        Platform::ToUtf16(inspection.against, &against);
        // The build machine's authorities are not the customer's: only a named CA file
        // or a required signature makes an unknown signer a finding. A file changed after
        // it was signed is damaged whoever is trusted.
        if (!m_options.ca.empty() || m_options.requireSignature || inspection.changed)
        {
            Add("signature", {"9x", "NT"}, kSetupName, u"",
                u"signed by " + who + u", but the signature does not verify against " + against +
                    u": " + problem);
        }
        else
        {
            m_notes.push_back(std::string(kSetupName) + ": signed by " + signer +
                              "; the signature does not verify against " + inspection.against +
                              " (" + inspection.problem +
                              "); --ca names the authority to verify it against");
        }
    }
#else
    m_signature = "unchecked";
    m_notes.push_back(std::string(kSetupName) +
                      ": its signature is not checked by this build of pkgtool; the Linux "
                      "build checks it");
    if (m_options.requireSignature || !m_options.ca.empty())
    {
        Add("signature", {"9x", "NT"}, kSetupName, u"",
            u"its signature cannot be checked by this build of pkgtool");
    }
#endif
}

Verdict Checker::Run()
{
    const Verdict indexed = Index();
    if (indexed != Verdict::Clean)
    {
        return indexed;
    }
    CheckLeftovers();
    ReadSetupBuild();
    OpenPackages();
    CheckRecord();
    CheckSignature();
    for (MediumPackage& package : m_packages)
    {
        CheckPackage(package);
    }
    for (size_t i = 0; i < 2; ++i)
    {
        WalkFamily(kFamilies[i], &m_figures[i]);
    }
    return m_findings.empty() ? Verdict::Clean : Verdict::Findings;
}

std::string FamiliesText(const std::vector<std::string>& families)
{
    std::string text;
    for (const std::string& family : families)
    {
        text += (text.empty() ? "" : ", ") + family;
    }
    return text;
}

void Checker::PrintText() const
{
    if (m_buildKnown)
    {
        std::printf("%s: build %" PRIu32 "\n", kSetupName, m_build);
    }
    if (m_record == SetupRecord::Found::Record)
    {
        std::printf("%s: a record of %zu packages\n", kSetupName, m_recordRows);
    }
    for (const std::string& note : m_notes)
    {
        std::printf("%s\n", note.c_str());
    }
    for (const Finding& finding : m_findings)
    {
        std::string where = finding.package;
        if (!finding.entry.empty())
        {
            where += ": entry '" + Platform::ToDisplay(finding.entry) + "'";
        }
        std::printf("%s: %s: %s [%s]\n", where.c_str(), finding.rule.c_str(),
                    Platform::ToDisplay(finding.reason).c_str(),
                    FamiliesText(finding.families).c_str());
    }
    for (size_t i = 0; i < 2; ++i)
    {
        const Figures& figures = m_figures[i];
        std::printf("%s family: %" PRIu64 " files, %" PRIu64
                    " bytes into the product tree; %" PRIu64 " files, %" PRIu64
                    " bytes into the system folder\n",
                    kFamilies[i].name, figures.productTree.files, figures.productTree.bytes,
                    figures.systemFolder.files, figures.systemFolder.bytes);
    }
    if (m_findings.empty())
    {
        std::printf("%s: the medium would install cleanly\n", m_path.c_str());
    }
    else
    {
        std::printf("%s: %zu findings; the install would fail at a customer's\n", m_path.c_str(),
                    m_findings.size());
    }
}

// JSON strings in ASCII: everything else as \u escapes, so the text is the same
// whatever the system's code page.
std::string Json(const std::u16string& text)
{
    std::string out = "\"";
    for (char16_t c : text)
    {
        if (c == u'"' || c == u'\\')
        {
            out += '\\';
            out += static_cast<char>(c);
        }
        else if (c < 0x20 || c >= 0x7F)
        {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        }
        else
        {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Json(const std::string& ascii)
{
    return Json(Text(ascii));
}

std::string Json(const Tally& tally)
{
    return "{\"files\": " + std::to_string(tally.files) +
           ", \"bytes\": " + std::to_string(tally.bytes) + "}";
}

void Checker::PrintJson() const
{
    std::u16string dir;
    Platform::ToUtf16(m_path, &dir);
    std::u16string signer;
    Platform::ToUtf16(m_signer, &signer);
    std::printf(
        "{\n  \"medium\": %s,\n  \"setupBuild\": %s,\n  \"recordedPackages\": %s,\n"
        "  \"signature\": %s,\n  \"signer\": %s,\n  \"clean\": %s,\n  \"findings\": [",
        Json(dir).c_str(), m_buildKnown ? std::to_string(m_build).c_str() : "null",
        m_record == SetupRecord::Found::Record ? std::to_string(m_recordRows).c_str() : "null",
        m_signature.empty() ? "null" : Json(m_signature).c_str(),
        m_signer.empty() ? "null" : Json(signer).c_str(), m_findings.empty() ? "true" : "false");
    for (size_t i = 0; i < m_findings.size(); ++i)
    {
        const Finding& finding = m_findings[i];
        std::string families;
        for (const std::string& family : finding.families)
        {
            families += (families.empty() ? "" : ", ") + Json(family);
        }
        std::printf("%s\n    {\"rule\": %s, \"families\": [%s], \"package\": %s, \"entry\": %s, "
                    "\"reason\": %s}",
                    i == 0 ? "" : ",", Json(finding.rule).c_str(), families.c_str(),
                    Json(finding.package).c_str(),
                    finding.entry.empty() ? "null" : Json(finding.entry).c_str(),
                    Json(finding.reason).c_str());
    }
    std::printf("%s],\n  \"families\": [", m_findings.empty() ? "" : "\n  ");
    for (size_t i = 0; i < 2; ++i)
    {
        std::printf("%s\n    {\"family\": %s, \"productTree\": %s, \"systemFolder\": %s}",
                    i == 0 ? "" : ",", Json(kFamilies[i].name).c_str(),
                    Json(m_figures[i].productTree).c_str(),
                    Json(m_figures[i].systemFolder).c_str());
    }
    std::printf("\n  ]\n}\n");
}

} // namespace

Verdict CheckMedium(const std::string& path, const CheckOptions& options)
{
    Checker checker(path, options);
    const Verdict verdict = checker.Run();
    if (verdict == Verdict::Clean || verdict == Verdict::Findings)
    {
        options.json ? checker.PrintJson() : checker.PrintText();
    }
    return verdict;
}

int Check(const std::string& path, const CheckOptions& options)
{
    switch (CheckMedium(path, options))
    {
    case Verdict::Clean:
        return Commands::kExitOk;
    case Verdict::NotInThisBuild:
        return Commands::kExitUsage;
    default:
        return Commands::kExitFailure;
    }
}

} // namespace Medium
