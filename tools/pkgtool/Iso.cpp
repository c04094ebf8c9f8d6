#include "Iso.h"

#include <cerrno>
#include <cstdio>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Report.h"

namespace Iso
{

namespace
{
using namespace Reporting;

char* Text(const char* text)
{
    // The library's setters take text they do not change through non-const pointers.
    return const_cast<char*>(text);
}

std::string DescriptorPath(FileIo::Handle file)
{
    return "/proc/self/fd/" + std::to_string(file);
}
} // namespace

Session::Session()
{
    // Bit 0: the library leaves the process's locale alone; names are UTF-8 here.
    m_result = iso_init_with_flag(1);
    if (m_result >= 0)
    {
        iso_set_local_charset(Text("UTF-8"), 0);
        // Failures are queued for FailureText, never printed by the library itself.
        iso_set_msgs_severities(Text("SORRY"), Text("NEVER"), Text("pkgtool"));
    }
}

Session::~Session()
{
    if (m_result >= 0)
    {
        iso_finish();
    }
}

bool Session::Started(const std::string& file) const
{
    return m_result >= 0 ||
           ReportPlain(file, "the disc image library did not start: " + FailureText(m_result));
}

bool TakeQueuedFailure(std::string* text)
{
    text->clear();
    std::vector<char> message(ISO_MSGS_MESSAGE_LEN);
    char severity[80];
    int error = 0;
    int image = 0;
    while (iso_obtain_msgs(Text("SORRY"), &error, &image, message.data(), severity) == 1)
    {
        if (text->empty())
        {
            *text = message.data();
        }
    }
    return !text->empty();
}

std::string FailureText(int code)
{
    std::string text;
    TakeQueuedFailure(&text);
    const std::string reason = code < 0 ? iso_error_to_msg(code) : std::string();
    if (text.empty() || text == reason)
    {
        return reason.empty() ? "unknown failure" : reason;
    }
    return reason.empty() ? text : text + " (" + reason + ")";
}

void ReleaseBurnSource(burn_source* source)
{
    // Cancelling a finished stream does nothing; an unfinished one ends its writer thread.
    source->cancel(source);
    source->free_data(source);
    std::free(source);
}

bool RootFiles::Load(const std::string& image,
                     const std::function<bool(const std::string&)>& wanted)
{
    struct stat st;
    if (stat(image.c_str(), &st) != 0)
    {
        FileIo::SetLastErrorFromErrno(errno);
        return Report(image);
    }
    m_blocks = static_cast<uint64_t>(st.st_size) / kBlockSize;
    // The library takes an absolute path.
    char* absolute = realpath(image.c_str(), nullptr);
    CDataSource source;
    int result = iso_data_source_new_from_file(absolute != nullptr ? absolute : image.c_str(),
                                               source.Receive());
    std::free(absolute);
    CReadOpts options;
    if (result >= 0)
    {
        result = iso_read_opts_new(options.Receive(), 0);
    }
    CImage disc;
    if (result >= 0)
    {
        // Windows reads the Joliet names; Rock Ridge is for POSIX systems.
        iso_read_opts_set_preferjoliet(options.Get(), 1);
        iso_read_opts_set_no_rockridge(options.Get(), 1);
        iso_read_opts_set_ecma119_map(options.Get(), 1);
        iso_read_opts_set_joliet_map(options.Get(), 1);
        result = iso_image_new("", disc.Receive());
    }
    CFeatures features;
    if (result >= 0)
    {
        result = iso_image_import(disc.Get(), source.Get(), options.Get(), features.Receive());
    }
    if (result < 0)
    {
        return ReportPlain(image, "not a disc image that can be read: " + FailureText(result));
    }
    m_recordedBlocks = iso_read_image_features_get_size(features.Get());
    if (!S_ISREG(st.st_mode))
    {
        m_blocks = m_recordedBlocks; // a drive's length is the disc's
    }

    CDirIter members;
    result = iso_dir_get_children(iso_image_get_root(disc.Get()), members.Receive());
    if (result < 0)
    {
        return ReportPlain(image, "its root folder cannot be read: " + FailureText(result));
    }
    IsoNode* node = nullptr;
    while (iso_dir_iter_next(members.Get(), &node) == 1)
    {
        if (iso_node_get_type(node) != LIBISO_FILE)
        {
            continue;
        }
        File file;
        file.name = iso_node_get_name(node);
        if (wanted(file.name))
        {
            Copy(reinterpret_cast<IsoFile*>(node), &file);
        }
        m_files.push_back(std::move(file));
    }
    return true;
}

// A memory file leaves nothing behind, however the command ends.
bool RootFiles::Copy(IsoFile* file, File* into)
{
    CFileHandle copy(memfd_create(into->name.c_str(), MFD_CLOEXEC));
    if (!copy.IsValid())
    {
        FileIo::SetLastErrorFromErrno(errno);
        into->failure = FileIo::ErrorText(FileIo::GetLastError());
        return false;
    }
    IsoStream* stream = iso_file_get_stream(file);
    int result = iso_stream_open(stream);
    if (result < 0)
    {
        into->failure = FailureText(result);
        return false;
    }
    const off_t expected = iso_stream_get_size(stream);
    off_t copied = 0;
    std::vector<char> buffer(64 * 1024);
    while ((result = iso_stream_read(stream, buffer.data(), buffer.size())) > 0)
    {
        uint32_t written = 0;
        if (!FileIo::Write(copy.Get(), buffer.data(), static_cast<uint32_t>(result), &written))
        {
            iso_stream_close(stream);
            into->failure = FileIo::ErrorText(FileIo::GetLastError());
            return false;
        }
        copied += result;
    }
    iso_stream_close(stream);
    if (result < 0 || copied != expected)
    {
        into->failure = result < 0 ? FailureText(result) : "the image ends inside it";
        return false;
    }
    into->path = DescriptorPath(copy.Get());
    m_copies.push_back(std::move(copy));
    return true;
}

} // namespace Iso
