// medium image: the disc image of a medium, made with libisofs.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "Commands.h"
#include "Iso.h"
#include "Medium.h"
#include "Platform.h"
#include "Report.h"
#include "package/PeVersionInfo.h"

namespace Medium
{

namespace
{
using namespace Reporting;

constexpr size_t kMaxVolumeId = 32;
// Windows shows the Joliet volume name, which holds 16 characters.
constexpr size_t kShownVolumeId = 16;
const char kAutorunName[] = "AUTORUN.INF";
constexpr int64_t kFileTimeUnixEpoch = 11644473600LL;
// The last second of 2155, the last year a directory record holds.
constexpr int64_t kLatestDiscTime = 5869583999LL;
// Progress moves on by whole MiB.
constexpr uint64_t kMiB = 1024 * 1024;

struct Member
{
    std::string name;
    std::string path;
    bool isDirectory = false;
    time_t time = 0;
    std::vector<Member> members;
};

// Empty when the path does not lead anywhere.
std::string RealPath(const std::string& path)
{
    char* real = realpath(path.c_str(), nullptr);
    const std::string result = real != nullptr ? real : std::string();
    std::free(real);
    return result;
}

time_t UnixTime(uint64_t fileTime)
{
    const int64_t seconds = static_cast<int64_t>(fileTime / 10000000u) - kFileTimeUnixEpoch;
    return static_cast<time_t>(std::min(std::max<int64_t>(seconds, 0), kLatestDiscTime));
}

bool IsDCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The medium below `path`, each folder's members sorted by name, and the newest
// file time in `*newest`. Names that Windows takes for one are refused: one of
// the two files could never be read from the disc.
bool Walk(const std::string& path, std::vector<Member>* members, time_t* newest)
{
    std::vector<std::string> names;
    std::string bad;
    if (!Platform::ListFolder(path, &names, &bad))
    {
        return ReportListFailure(path, bad);
    }
    std::sort(names.begin(), names.end());
    for (size_t i = 0; i < names.size(); ++i)
    {
        for (size_t j = 0; j < i; ++j)
        {
            if (SameFileName(names[i], names[j]))
            {
                return ReportPlain(Platform::JoinPath(path, names[i]),
                                   "Windows takes it for " + names[j] +
                                       ", so one of them could not be read from the disc");
            }
        }
        Member member;
        member.name = names[i];
        member.path = Platform::JoinPath(path, names[i]);
        Platform::FileInfo info;
        if (!Platform::Stat(member.path, &info))
        {
            return Report(member.path);
        }
        member.isDirectory = info.isDirectory;
        member.time = UnixTime(info.lastWriteTime);
        if (member.isDirectory && !Walk(member.path, &member.members, newest))
        {
            return false;
        }
        if (!member.isDirectory)
        {
            *newest = std::max(*newest, member.time);
        }
        members->push_back(std::move(member));
    }
    return true;
}

// SOURCE_DATE_EPOCH, as reproducible builds set it; false (reported) when it is no time.
bool SourceDateEpoch(bool* set, time_t* time)
{
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    *set = text != nullptr && *text != '\0';
    if (!*set)
    {
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const long long seconds = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || seconds < 0 || seconds > kLatestDiscTime)
    {
        return ReportPlain("SOURCE_DATE_EPOCH",
                           std::string("'") + text + "' is not a number of seconds since 1970");
    }
    *time = static_cast<time_t>(seconds);
    return true;
}

// The label as the disc carries it: upper case, d-characters only.
bool VolumeLabel(const std::string& label, std::string* volumeId)
{
    volumeId->clear();
    for (char c : label)
    {
        if (!IsDCharacter(AsciiUpper(c)))
        {
            return false;
        }
        volumeId->push_back(AsciiUpper(c));
    }
    return !volumeId->empty() && volumeId->size() <= kMaxVolumeId;
}

// "ARDENT_2105" from the setup's product name and build; a setup without a
// version resource (a medium made with --force) leaves the build out.
struct SetupFacts
{
    std::string volumeId = "CDROM";
    std::string label = "Setup";
};

SetupFacts ReadSetupFacts(const std::string& medium)
{
    SetupFacts facts;
    PeVersionInfo::Info info;
    if (!PeVersionInfo::ReadFromFile(Platform::JoinPath(medium, kSetupName), &info))
    {
        return facts;
    }
    std::string product;
    if (const std::u16string* name = info.FindString(u"ProductName"))
    {
        for (char16_t c : *name)
        {
            product.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '_');
        }
    }
    std::string volumeId;
    for (char c : product)
    {
        volumeId.push_back(IsDCharacter(AsciiUpper(c)) ? AsciiUpper(c) : '_');
    }
    std::string label = product;
    if (info.hasFixedInfo)
    {
        const std::string build = std::to_string(info.fileVersionLs >> 16);
        volumeId += (volumeId.empty() ? "" : "_") + build;
        label += (label.empty() ? "" : " ") + build;
    }
    if (!volumeId.empty())
    {
        facts.volumeId = volumeId.substr(0, kMaxVolumeId);
        facts.label = label;
    }
    return facts;
}

void SetTimes(IsoNode* node, time_t time)
{
    iso_node_set_mtime(node, time);
    iso_node_set_atime(node, time);
    iso_node_set_ctime(node, time);
}

// Each file keeps its own time, none later than `latest`.
bool AddMembers(IsoImage* image, IsoDir* parent, const std::vector<Member>& members, time_t latest,
                size_t* files)
{
    for (const Member& member : members)
    {
        IsoNode* node = nullptr;
        int result;
        if (member.isDirectory)
        {
            IsoDir* dir = nullptr;
            result = iso_image_add_new_dir(image, parent, member.name.c_str(), &dir);
            node = reinterpret_cast<IsoNode*>(dir);
        }
        else
        {
            result = iso_tree_add_new_node(image, parent, member.name.c_str(), member.path.c_str(),
                                           &node);
            ++*files;
        }
        if (result < 0)
        {
            return ReportPlain(member.path, Iso::FailureText(result));
        }
        SetTimes(node, member.isDirectory ? latest : std::min(member.time, latest));
        if (member.isDirectory &&
            !AddMembers(image, reinterpret_cast<IsoDir*>(node), member.members, latest, files))
        {
            return false;
        }
    }
    return true;
}

bool AddAutorun(IsoDir* root, const std::string& label, time_t time)
{
    const std::string text = "[autorun]\r\nopen=" + std::string(kSetupName) +
                             "\r\nicon=" + kSetupName + ",0\r\nlabel=" + label + "\r\n";
    // The stream frees the buffer with free().
    unsigned char* bytes = static_cast<unsigned char*>(std::malloc(text.size()));
    if (bytes == nullptr)
    {
        FileIo::SetLastError(FileIo::kErrorNotEnoughMemory);
        return Report(kAutorunName);
    }
    std::copy(text.begin(), text.end(), bytes);
    Iso::CStream stream;
    int result = iso_memory_stream_new(bytes, text.size(), stream.Receive());
    if (result < 0)
    {
        std::free(bytes);
        return ReportPlain(kAutorunName, Iso::FailureText(result));
    }
    IsoFile* file = nullptr;
    result = iso_tree_add_new_file(root, kAutorunName, stream.Get(), &file);
    if (result < 0)
    {
        return ReportPlain(kAutorunName, Iso::FailureText(result));
    }
    stream.Release(); // the file holds it now
    SetTimes(reinterpret_cast<IsoNode*>(file), time);
    return true;
}

// ISO 9660 level 1 (8.3 upper-case names, which the oldest readers take) with
// Joliet names in the medium's own spelling; no Rock Ridge, which Windows never
// reads. Times in UTC and fixed by `time`, so the same medium gives the same bytes.
bool MakeOptions(time_t time, Iso::CWriteOpts* options)
{
    int result = iso_write_opts_new(options->Receive(), 0);
    if (result < 0)
    {
        return ReportPlain("image options", Iso::FailureText(result));
    }
    IsoWriteOpts* opts = options->Get();
    iso_write_opts_set_iso_level(opts, 1);
    iso_write_opts_set_joliet(opts, 1);
    iso_write_opts_set_rockridge(opts, 0);
    iso_write_opts_set_always_gmt(opts, 1);
    // Every directory record carries its file's own time, in both trees.
    iso_write_opts_set_dir_rec_mtime(opts, 3);
    struct tm utc;
    gmtime_r(&time, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S00", &utc);
    iso_write_opts_set_pvd_times(opts, time, time, 0, 0, stamp);
    return true;
}

// Writes the image's stream to `file`; the progress line moves by the MiB.
bool WriteStream(burn_source* stream, FileIo::Handle file, const std::string& path)
{
    const uint64_t total = static_cast<uint64_t>(stream->get_size(stream));
    Progress progress;
    // One sector a call, as a burner reads it: the stream may end a larger request
    // without its last sectors.
    std::vector<unsigned char> buffer(Iso::kBlockSize);
    uint64_t done = 0;
    for (;;)
    {
        const int got = stream->read_xt(stream, buffer.data(), static_cast<int>(buffer.size()));
        if (got < 0)
        {
            return ReportPlain(path, "the image could not be made: " + Iso::FailureText(got));
        }
        if (got == 0)
        {
            break;
        }
        uint32_t put = 0;
        if (!FileIo::Write(file, buffer.data(), static_cast<uint32_t>(got), &put))
        {
            return Report(path);
        }
        if ((done + static_cast<uint64_t>(got)) / kMiB != done / kMiB)
        {
            progress.Show(static_cast<size_t>((done + got) / kMiB),
                          static_cast<size_t>((total + kMiB - 1) / kMiB), "MiB of " + path);
        }
        done += static_cast<uint64_t>(got);
    }
    if (done != total)
    {
        return ReportPlain(path, "the image stream ended after " + std::to_string(done) + " of " +
                                     std::to_string(total) + " bytes");
    }
    // A file that could not be read is written as zeros; the library only says so.
    std::string failure;
    if (Iso::TakeQueuedFailure(&failure))
    {
        return ReportPlain(path, "the image could not be made: " + failure);
    }
    return true;
}

// Writes the image beside `out` and renames it into place when complete.
bool WriteImage(IsoImage* image, IsoWriteOpts* options, const std::string& out, uint64_t* size)
{
    Iso::CBurnSource stream;
    int result = iso_image_create_burn_source(image, options, stream.Receive());
    if (result < 0)
    {
        return ReportPlain(out, "the image could not be made: " + Iso::FailureText(result));
    }
    *size = static_cast<uint64_t>(stream.Get()->get_size(stream.Get()));
    const std::string temporary = Platform::TemporaryNameBeside(out);
    CFileHandle file(FileIo::CreateNew(temporary));
    if (!file.IsValid())
    {
        return Report(temporary);
    }
    bool ok = WriteStream(stream.Get(), file.Get(), out);
    stream.Reset();
    ok = ok && (FileIo::Flush(file.Get()) || Report(temporary));
    file.Reset();
    if (ok && !Platform::RenameReplace(temporary, out))
    {
        ok = Report(out);
    }
    if (!ok)
    {
        FileIo::Delete(temporary);
    }
    return ok;
}

// The image would take in its own temporary file, or itself on the next run.
bool OutsideMedium(const std::string& medium, const std::string& out)
{
    const std::string folder = RealPath(medium);
    // The nearest folder of OUT that exists: the others will be made inside it.
    std::string parent = Platform::ParentOf(out);
    std::string real = RealPath(parent);
    while (real.empty() && Platform::ParentOf(parent) != parent)
    {
        parent = Platform::ParentOf(parent);
        real = RealPath(parent);
    }
    if (!folder.empty() && !real.empty() &&
        (real == folder || real.compare(0, folder.size() + 1, folder + "/") == 0))
    {
        return ReportPlain(out, "lies inside the medium " + medium +
                                    "; the image is written outside it");
    }
    return true;
}

bool CheckPaths(const std::string& medium, const std::string& out)
{
    Platform::FileInfo info;
    if (!Platform::Stat(medium, &info))
    {
        return Report(medium);
    }
    if (!info.isDirectory)
    {
        return ReportPlain(medium, "not a folder; an image is made of a medium folder");
    }
    if (Platform::Stat(out, &info) && info.isDirectory)
    {
        return ReportPlain(out, "is a folder; the image is a file");
    }
    return OutsideMedium(medium, out);
}

} // namespace

int Image(const std::string& medium, const std::string& out, const std::string& label, bool force)
{
    std::string labelId;
    if (!label.empty() && !VolumeLabel(label, &labelId))
    {
        std::fprintf(stderr,
                     "pkgtool: --label '%s': a volume label is 1 to 32 letters, digits and '_'\n",
                     label.c_str());
        return Commands::kExitUsage;
    }
    bool epochSet = false;
    time_t epoch = 0;
    if (!CheckPaths(medium, out) || !SourceDateEpoch(&epochSet, &epoch))
    {
        return Commands::kExitFailure;
    }
    const Verdict verdict = CheckMedium(medium, CheckOptions());
    if (verdict == Verdict::Unreadable || (verdict == Verdict::Findings && !force))
    {
        if (verdict == Verdict::Findings)
        {
            ReportPlain(medium, "no image made: the medium has findings that would fail at a "
                                "customer's (--force makes it anyway)");
        }
        return Commands::kExitFailure;
    }

    // The library takes files by their absolute paths.
    const std::string folder = RealPath(medium);
    std::vector<Member> members;
    time_t newest = 0;
    if (folder.empty())
    {
        FileIo::SetLastErrorFromErrno(errno);
        Report(medium);
        return Commands::kExitFailure;
    }
    if (!Walk(folder, &members, &newest))
    {
        return Commands::kExitFailure;
    }
    const time_t time = epochSet ? epoch : newest;
    SetupFacts facts = ReadSetupFacts(medium);
    if (!labelId.empty())
    {
        facts.volumeId = labelId;
        facts.label = label;
    }
    if (facts.volumeId.size() > kShownVolumeId)
    {
        Note(out, "warning: Windows shows the volume label " + facts.volumeId + " as " +
                      facts.volumeId.substr(0, kShownVolumeId));
    }

    Iso::Session session;
    if (!session.Started(out))
    {
        return Commands::kExitFailure;
    }
    // Whatever the library stamps with "now" gets the medium's time.
    time_t now = time;
    iso_nowtime(&now, 1);
    Iso::CImage image;
    int result = iso_image_new(facts.volumeId.c_str(), image.Receive());
    if (result < 0)
    {
        ReportPlain(out, "the image could not be made: " + Iso::FailureText(result));
        return Commands::kExitFailure;
    }
    iso_tree_set_follow_symlinks(image.Get(), 1);
    IsoDir* root = iso_image_get_root(image.Get());
    SetTimes(reinterpret_cast<IsoNode*>(root), time);
    size_t files = 0;
    const bool hasAutorun =
        std::any_of(members.begin(), members.end(),
                    [](const Member& m) { return SameFileName(m.name, kAutorunName); });
    Iso::CWriteOpts options;
    uint64_t size = 0;
    if (!AddMembers(image.Get(), root, members, time, &files) ||
        (!hasAutorun && !AddAutorun(root, facts.label, time)) || !MakeOptions(time, &options) ||
        !(Platform::MakeFolders(Platform::ParentOf(out)) || Report(Platform::ParentOf(out))) ||
        !WriteImage(image.Get(), options.Get(), out, &size))
    {
        return Commands::kExitFailure;
    }
    std::printf("%s: volume %s, %zu files%s, %llu bytes\n", out.c_str(), facts.volumeId.c_str(),
                files, hasAutorun ? "" : " and AUTORUN.INF", static_cast<unsigned long long>(size));
    return Commands::kExitOk;
}

} // namespace Medium
