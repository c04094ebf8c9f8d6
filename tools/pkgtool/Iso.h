#pragma once

// Disc images through libisofs: the library's session, small owners of its
// objects, and the files at the root of an image as Windows reads them. Only
// the builds that carry the library have it (PKGTOOL_DISC_IMAGES).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// libisofs.h keeps its copy of struct burn_source, the image's output stream,
// for programs that do not use libburn.
#define LIBISOFS_WITHOUT_LIBBURN 1
#include <libisofs/libisofs.h>

#include "package/UniqueHandle.h"

namespace Iso
{

// One disc sector, the unit of the image's stream and of its recorded size.
constexpr uint32_t kBlockSize = 2048;

// The library from start to finish; one per command. Names on disk are taken
// as UTF-8, whatever the locale.
class Session
{
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // False (reported) when the library could not start.
    bool Started(const std::string& file) const;

private:
    int m_result;
};

// What the library last said went wrong, most telling first: its queued
// message, or the text of `code`.
std::string FailureText(int code);
// Takes what the library queued about a failure it went on after; false when nothing.
bool TakeQueuedFailure(std::string* text);

template <typename T, void (*Release)(T*)> struct Traits
{
    using Value = T*;
    static T* Invalid() { return nullptr; }
    static void Close(T* value) { Release(value); }
};

void ReleaseBurnSource(burn_source* source);

using CImage = CUniqueHandle<Traits<IsoImage, iso_image_unref>>;
using CWriteOpts = CUniqueHandle<Traits<IsoWriteOpts, iso_write_opts_free>>;
using CReadOpts = CUniqueHandle<Traits<IsoReadOpts, iso_read_opts_free>>;
using CDataSource = CUniqueHandle<Traits<IsoDataSource, iso_data_source_unref>>;
using CFeatures = CUniqueHandle<Traits<IsoReadImageFeatures, iso_read_image_features_destroy>>;
using CDirIter = CUniqueHandle<Traits<IsoDirIter, iso_dir_iter_free>>;
using CStream = CUniqueHandle<Traits<IsoStream, iso_stream_unref>>;
// The image's output; cancelled first when it is given up before its end.
using CBurnSource = CUniqueHandle<Traits<burn_source, ReleaseBurnSource>>;

// The files at the root of a disc image, by the names Windows reads (Joliet's,
// or ISO 9660's in an image without them). Those that `wanted` names are
// copied into memory files that the package classes open by path.
class RootFiles
{
public:
    struct File
    {
        std::string name;
        std::string path;    // where to open the copy; empty when not loaded
        std::string failure; // why a wanted file could not be read
    };

    RootFiles() = default;
    RootFiles(const RootFiles&) = delete;
    RootFiles& operator=(const RootFiles&) = delete;

    // False (reported) when `image` is not a disc image the library can read.
    bool Load(const std::string& image, const std::function<bool(const std::string&)>& wanted);

    const std::vector<File>& Files() const { return m_files; }
    // The image's length and the length its volume descriptor records, in blocks.
    uint64_t Blocks() const { return m_blocks; }
    uint64_t RecordedBlocks() const { return m_recordedBlocks; }

private:
    bool Copy(IsoFile* file, File* into);

    std::vector<File> m_files;
    std::vector<CFileHandle> m_copies;
    uint64_t m_blocks = 0;
    uint64_t m_recordedBlocks = 0;
};

} // namespace Iso
