#include "package/PackageFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#define ZLIB_CONST
#include <zlib.h>

#include "package/ByteOrder.h"

const uint8_t CPackageFile::kMagic[16] = {0xF6, 0xCC, 0x51, 0xF0, 0x53, 0x87, 0xD2, 0x11,
                                          0x96, 0x53, 0x00, 0xAA, 0x00, 0xAC, 0xC8, 0xDB};

namespace
{
constexpr uint32_t kCatalogOffsetField = 16;
constexpr uint32_t kBuildField = 20;
constexpr uint32_t kCompressedField = 24;
constexpr int kWindowBits = 15;
constexpr int kMemLevel = 8;

// Ends a zlib stream on every way out of the function that started it.
class CZStreamEnd
{
public:
    CZStreamEnd(z_stream& stream, int (*end)(z_streamp)) : m_stream(stream), m_end(end) {}
    ~CZStreamEnd() { m_end(&m_stream); }
    CZStreamEnd(const CZStreamEnd&) = delete;
    CZStreamEnd& operator=(const CZStreamEnd&) = delete;

private:
    z_stream& m_stream;
    int (*m_end)(z_streamp);
};

// Keeps the code of the failure being reported while cleaning up after it.
class SavedError
{
public:
    SavedError() : m_code(FileIo::GetLastError()) {}
    ~SavedError() { FileIo::SetLastError(m_code); }

private:
    uint32_t m_code;
};
} // namespace

class CPackageFile::Sink
{
public:
    virtual ~Sink() = default;
    // Called once the block is known to be sound, with the bytes to come.
    virtual void Expect(uint32_t /*size*/) {}
    virtual bool Put(const uint8_t* bytes, uint32_t size) = 0;
};

class CPackageFile::FileSink : public Sink
{
public:
    explicit FileSink(FileIo::Handle file) : m_file(file) {}
    bool Put(const uint8_t* bytes, uint32_t size) override
    {
        uint32_t put = 0;
        return FileIo::Write(m_file, bytes, size, &put);
    }

private:
    FileIo::Handle m_file;
};

class CPackageFile::MemorySink : public Sink
{
public:
    std::vector<uint8_t> bytes;
    void Expect(uint32_t size) override { bytes.reserve(size); }
    bool Put(const uint8_t* data, uint32_t size) override
    {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
};

CPackageFile::CPackageFile(bool diagnostics)
    : m_nBuild(0), m_bCompressed(false), m_nDataEnd(0), m_bDiagnostics(diagnostics),
      m_mode(Mode::Reading), m_nOriginalEnd(0)
{
}

CPackageFile::~CPackageFile() = default;

bool CPackageFile::ReadExact(void* buffer, uint32_t size)
{
    return FileIo::ReadExact(m_hFile.Get(), buffer, size);
}

bool CPackageFile::Open(const std::string& path, bool writable)
{
    Close();
    m_hFile.Reset(FileIo::OpenExisting(path, writable));
    if (!m_hFile.IsValid())
    {
        return false;
    }
    auto fail = [this]
    {
        m_hFile.Reset();
        m_catalog.Clear();
        return false;
    };

    uint32_t position = 0;
    if (!FileIo::Seek(m_hFile.Get(), 0, &position))
    {
        return fail();
    }
    uint8_t header[kHeaderSize];
    if (!ReadExact(header, kHeaderSize))
    {
        return fail();
    }
    if (std::memcmp(header, kMagic, sizeof kMagic) != 0)
    {
        FileIo::SetLastError(FileIo::kErrorFileCorrupt);
        return fail();
    }
    uint32_t catalogOffset = ByteOrder::GetLe32(header + kCatalogOffsetField);
    // A catalog inside the header (an uncommitted package has 0 here) or out
    // of reach would be read from the wrong bytes, and appending would
    // overwrite the header.
    if (catalogOffset < kHeaderSize || catalogOffset > kMaxPackageSize)
    {
        FileIo::SetLastError(FileIo::kErrorFileCorrupt);
        return fail();
    }
    if (!SeekTo(catalogOffset))
    {
        return fail();
    }
    bool read = false;
    try
    {
        read = m_catalog.Read(m_hFile.Get());
    }
    catch (const std::exception&)
    {
        FileIo::SetLastError(FileIo::kErrorNotEnoughMemory);
    }
    if (!read)
    {
        return fail();
    }
    m_nDataEnd = catalogOffset;
    m_strPath = path;
    m_nBuild = ByteOrder::GetLe32(header + kBuildField);
    m_bCompressed = ByteOrder::GetLe32(header + kCompressedField) != 0;
    m_mode = writable ? Mode::Appending : Mode::Reading;
    m_nOriginalEnd = catalogOffset;
    if (writable)
    {
        try
        {
            m_originalCatalog = m_catalog;
        }
        catch (const std::exception&)
        {
            FileIo::SetLastError(FileIo::kErrorNotEnoughMemory);
            return fail();
        }
    }
    return true;
}

bool CPackageFile::ExtractToFile(int index, FileIo::Handle destination)
{
    FileSink sink(destination);
    return Extract(index, sink);
}

bool CPackageFile::ExtractToMemory(int index, std::vector<uint8_t>& buffer)
{
    // Work on a buffer of our own so a failure leaves the caller's untouched.
    MemorySink sink;
    if (!Extract(index, sink))
    {
        return false;
    }
    buffer.swap(sink.bytes);
    return true;
}

bool CPackageFile::Extract(int index, Sink& sink)
{
    if (index < 0 || index >= m_catalog.GetCount())
    {
        FileIo::SetLastError(FileIo::kErrorInvalidParameter);
        return false;
    }
    const CPackageCatalogEntry& entry = m_catalog.m_entries[static_cast<size_t>(index)];
    const uint32_t unpacked = entry.m_nUnpackedSize;
    const uint32_t stored = entry.m_nStoredSize;
    const uint32_t offset = entry.m_nDataOffset;
    if (offset == 0 || stored == 0)
    {
        // Nothing to extract; an entry that claims bytes without a block is corrupt,
        // and the caller's message must not read as success.
        FileIo::SetLastError(unpacked != 0 ? FileIo::kErrorFileCorrupt
                                           : FileIo::kErrorInvalidParameter);
        return false;
    }
    uint64_t fileSize = 0;
    if (!FileIo::GetSize(m_hFile.Get(), &fileSize))
    {
        return false;
    }
    // A block outside the data area, or a plain block whose two sizes
    // disagree, cannot be sound; find out before writing anything.
    if (offset < kHeaderSize || static_cast<uint64_t>(offset) + stored > fileSize ||
        (!m_bCompressed && stored != unpacked))
    {
        FileIo::SetLastError(FileIo::kErrorFileCorrupt);
        return false;
    }
    if (!SeekTo(offset))
    {
        return false;
    }
    // The entry may be larger than the memory left to a 32-bit process.
    try
    {
        if (!m_bCompressed)
        {
            sink.Expect(stored);
        }
        return m_bCompressed ? Inflate(stored, unpacked, sink) : Copy(stored, sink);
    }
    catch (const std::exception&)
    {
        FileIo::SetLastError(FileIo::kErrorNotEnoughMemory);
        return false;
    }
}

bool CPackageFile::Copy(uint32_t stored, Sink& sink)
{
    std::vector<uint8_t> chunk(std::min(stored, kChunkSize));
    for (uint32_t remaining = stored; remaining > 0;)
    {
        uint32_t n = std::min(remaining, kChunkSize);
        if (!ReadExact(chunk.data(), n) || !sink.Put(chunk.data(), n))
        {
            return false;
        }
        remaining -= n;
    }
    return true;
}

bool CPackageFile::Inflate(uint32_t storedSize, uint32_t unpackedSize, Sink& sink)
{
    std::vector<uint8_t> in(kChunkSize);
    std::vector<uint8_t> out(kChunkSize);
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    const int started = inflateInit(&stream);
    if (started != Z_OK)
    {
        ReportZlibError(stream.msg, started);
        return false;
    }
    CZStreamEnd end(stream, &inflateEnd);

    uint64_t produced = 0;
    uint32_t remaining = storedSize;
    int rc = Z_OK;
    do
    {
        if (stream.avail_in == 0 && remaining > 0)
        {
            const uint32_t n = std::min(remaining, kChunkSize);
            if (!ReadExact(in.data(), n))
            {
                return false;
            }
            remaining -= n;
            stream.next_in = in.data();
            stream.avail_in = n;
        }
        // Once the whole block is in, the stream has to end; a truncated one fails
        // here with Z_BUF_ERROR.
        const int flush = remaining == 0 && stream.avail_in == 0 ? Z_FINISH : Z_NO_FLUSH;
        stream.next_out = out.data();
        stream.avail_out = kChunkSize;
        rc = inflate(&stream, flush);
        if (rc != Z_OK && rc != Z_STREAM_END)
        {
            ReportZlibError(stream.msg, rc);
            return false;
        }
        // Stops as soon as the output would exceed the unpacked size, so a lying
        // entry cannot fill the destination first.
        const uint32_t have = kChunkSize - stream.avail_out;
        if (produced + have > unpackedSize)
        {
            FileIo::SetLastError(FileIo::kErrorFileCorrupt);
            return false;
        }
        if (have != 0 && !sink.Put(out.data(), have))
        {
            return false;
        }
        produced += have;
    } while (rc != Z_STREAM_END);

    // Bytes of the block after the end of the stream are ignored.
    if (produced != unpackedSize)
    {
        FileIo::SetLastError(FileIo::kErrorFileCorrupt);
        return false;
    }
    return true;
}

void CPackageFile::ReportZlibError(const char* message, int code) const
{
    if (!m_bDiagnostics)
    {
        FileIo::SetLastError(FileIo::kErrorFileCorrupt);
        return;
    }
    // The runtime's output may touch the code that this mode promises to keep.
    SavedError saved;
    if (message != nullptr)
    {
        std::printf("ZLib error: %s\n", message);
    }
    else
    {
        std::printf("ZLib error: code %d\n", code);
    }
}

void CPackageFile::Close()
{
    m_hFile.Reset();
    m_catalog.Clear();
    m_originalCatalog.Clear();
    m_mode = Mode::Reading;
}

bool CPackageFile::Create(const std::string& path, bool compressed)
{
    Close();
    CFileHandle file(FileIo::CreateNew(path));
    if (!file.IsValid())
    {
        return false;
    }
    uint8_t header[kHeaderSize] = {};
    std::memcpy(header, kMagic, sizeof kMagic);
    ByteOrder::PutLe32(header + kBuildField, kBuildNumber);
    ByteOrder::PutLe32(header + kCompressedField, compressed ? 1 : 0);
    uint32_t put = 0;
    if (!FileIo::Write(file.Get(), header, kHeaderSize, &put))
    {
        SavedError saved;
        file.Reset();
        FileIo::Delete(path);
        return false;
    }
    m_hFile = std::move(file);
    m_strPath = path;
    m_nBuild = kBuildNumber;
    m_bCompressed = compressed;
    m_nDataEnd = kHeaderSize;
    m_mode = Mode::Creating;
    return true;
}

bool CPackageFile::BeginAdd(const CPackageCatalogEntry& entry)
{
    if (!IsOpen())
    {
        FileIo::SetLastError(FileIo::kErrorInvalidHandle);
        return false;
    }
    if (!EntryName::IsSafeRelativePath(entry.GetName(), entry.GetNameLength()))
    {
        FileIo::SetLastError(FileIo::kErrorInvalidName);
        return false;
    }
    return true;
}

void CPackageFile::FinishAdd(const CPackageCatalogEntry& entry, uint32_t size, uint32_t stored)
{
    CPackageCatalogEntry copy = entry;
    copy.m_nUnpackedSize = size;
    copy.m_nStoredSize = stored;
    copy.m_nDataOffset = m_nDataEnd;
    m_catalog.Add(copy);
    m_nDataEnd += stored;
}

bool CPackageFile::WriteBlock(const void* bytes, uint32_t size, uint32_t* stored)
{
    if (static_cast<uint64_t>(m_nDataEnd) + *stored + size > kMaxPackageSize)
    {
        FileIo::SetLastError(FileIo::kErrorFileTooLarge);
        return false;
    }
    uint32_t put = 0;
    if (!FileIo::Write(m_hFile.Get(), bytes, size, &put))
    {
        return false;
    }
    *stored += size;
    return true;
}

bool CPackageFile::AddData(const CPackageCatalogEntry& entry, const void* bytes, uint32_t size)
{
    try
    {
        return AddDataImpl(entry, bytes, size);
    }
    catch (const std::exception&)
    {
        FileIo::SetLastError(FileIo::kErrorNotEnoughMemory);
        return false;
    }
}

bool CPackageFile::AddDataImpl(const CPackageCatalogEntry& entry, const void* bytes, uint32_t size)
{
    if (!BeginAdd(entry))
    {
        return false;
    }
    if (bytes == nullptr)
    {
        // An entry without content has no size either: the reader would take it for a
        // corrupt one.
        if (size != 0)
        {
            FileIo::SetLastError(FileIo::kErrorInvalidParameter);
            return false;
        }
        CPackageCatalogEntry copy = entry;
        copy.m_nUnpackedSize = size;
        copy.m_nStoredSize = 0;
        copy.m_nDataOffset = 0;
        m_catalog.Add(copy);
        return true;
    }
    if (!SeekTo(m_nDataEnd))
    {
        return false;
    }
    uint32_t stored = 0;
    bool ok =
        m_bCompressed ? DeflateMemory(bytes, size, &stored) : WriteBlock(bytes, size, &stored);
    if (!ok)
    {
        return false;
    }
    FinishAdd(entry, size, stored);
    return true;
}

bool CPackageFile::SeekTo(uint32_t offset)
{
    uint32_t position = 0;
    if (!FileIo::Seek(m_hFile.Get(), offset, &position))
    {
        return false;
    }
    if (position != offset)
    {
        FileIo::SetLastError(FileIo::kErrorFileCorrupt);
        return false;
    }
    return true;
}

bool CPackageFile::AddFile(const CPackageCatalogEntry& entry, FileIo::Handle source, uint32_t size)
{
    try
    {
        return AddFileImpl(entry, source, size);
    }
    catch (const std::exception&)
    {
        FileIo::SetLastError(FileIo::kErrorNotEnoughMemory);
        return false;
    }
}

bool CPackageFile::AddFileImpl(const CPackageCatalogEntry& entry, FileIo::Handle source,
                               uint32_t size)
{
    if (!BeginAdd(entry))
    {
        return false;
    }
    if (!SeekTo(m_nDataEnd))
    {
        return false;
    }
    uint32_t stored = 0;
    if (m_bCompressed)
    {
        if (!DeflateFile(source, size, &stored))
        {
            return false;
        }
    }
    else
    {
        if (static_cast<uint64_t>(m_nDataEnd) + size > kMaxPackageSize)
        {
            FileIo::SetLastError(FileIo::kErrorFileTooLarge);
            return false;
        }
        std::vector<uint8_t> chunk(std::min(size, kChunkSize));
        for (uint32_t remaining = size; remaining > 0;)
        {
            uint32_t n = std::min(remaining, kChunkSize);
            uint32_t got = 0;
            if (!FileIo::Read(source, chunk.data(), n, &got))
            {
                return false;
            }
            if (got != n)
            {
                FileIo::SetLastError(FileIo::kErrorHandleEof);
                return false;
            }
            if (!WriteBlock(chunk.data(), n, &stored))
            {
                return false;
            }
            remaining -= n;
        }
    }
    FinishAdd(entry, size, stored);
    return true;
}

bool CPackageFile::StartDeflate(z_stream_s& stream)
{
    std::memset(&stream, 0, sizeof stream);
    const int rc = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kWindowBits, kMemLevel,
                                Z_DEFAULT_STRATEGY);
    if (rc != Z_OK)
    {
        ReportZlibError(stream.msg, rc);
        return false;
    }
    return true;
}

bool CPackageFile::DeflateFile(FileIo::Handle source, uint32_t size, uint32_t* stored)
{
    std::vector<uint8_t> in(kChunkSize);
    std::vector<uint8_t> out(kChunkSize);
    z_stream stream;
    if (!StartDeflate(stream))
    {
        return false;
    }
    CZStreamEnd end(stream, &deflateEnd);
    for (uint32_t remaining = size; remaining > 0;)
    {
        uint32_t n = std::min(remaining, kChunkSize);
        uint32_t got = 0;
        if (!FileIo::Read(source, in.data(), n, &got))
        {
            return false;
        }
        if (got != n)
        {
            FileIo::SetLastError(FileIo::kErrorHandleEof);
            return false;
        }
        remaining -= n;
        stream.next_in = in.data();
        stream.avail_in = n;
        do
        {
            stream.next_out = out.data();
            stream.avail_out = kChunkSize;
            const int rc = deflate(&stream, Z_NO_FLUSH);
            // Z_BUF_ERROR only says that a call with a full output buffer
            // behind it had nothing left to do.
            if (rc != Z_OK && rc != Z_BUF_ERROR)
            {
                ReportZlibError(stream.msg, rc);
                return false;
            }
            uint32_t have = kChunkSize - stream.avail_out;
            if (have != 0 && !WriteBlock(out.data(), have, stored))
            {
                return false;
            }
        } while (stream.avail_out == 0);
    }
    return DeflateFinish(stream, out, stored);
}

bool CPackageFile::DeflateMemory(const void* bytes, uint32_t size, uint32_t* stored)
{
    std::vector<uint8_t> out(kChunkSize);
    z_stream stream;
    if (!StartDeflate(stream))
    {
        return false;
    }
    CZStreamEnd end(stream, &deflateEnd);
    stream.next_in = static_cast<const Bytef*>(bytes);
    stream.avail_in = size;
    return DeflateFinish(stream, out, stored);
}

bool CPackageFile::DeflateFinish(z_stream_s& stream, std::vector<uint8_t>& out, uint32_t* stored)
{
    int rc;
    do
    {
        stream.next_out = out.data();
        stream.avail_out = kChunkSize;
        rc = deflate(&stream, Z_FINISH);
        if (rc != Z_OK && rc != Z_STREAM_END)
        {
            ReportZlibError(stream.msg, rc);
            return false;
        }
        uint32_t have = kChunkSize - stream.avail_out;
        if (have != 0 && !WriteBlock(out.data(), have, stored))
        {
            return false;
        }
    } while (rc != Z_STREAM_END);
    return true;
}

void CPackageFile::SetCatalogTitle(const char* title)
{
    m_catalog.SetTitle(title);
}

bool CPackageFile::Commit()
{
    if (!IsOpen())
    {
        FileIo::SetLastError(FileIo::kErrorInvalidHandle);
        return false;
    }
    uint64_t end =
        static_cast<uint64_t>(m_nDataEnd) + CPackageCatalog::kHeaderSize +
        static_cast<uint64_t>(m_catalog.m_entries.size()) * CPackageCatalogEntry::kRecordSize;
    if (end > kMaxPackageSize)
    {
        FileIo::SetLastError(FileIo::kErrorFileTooLarge);
        return false;
    }
    if (!SeekTo(m_nDataEnd))
    {
        return false;
    }
    // A catalog that did not reach the disk must not be committed to.
    if (!m_catalog.Write(m_hFile.Get()) || !FileIo::SetEnd(m_hFile.Get()))
    {
        return false;
    }
    if (!SeekTo(kCatalogOffsetField))
    {
        return false;
    }
    uint8_t field[4];
    ByteOrder::PutLe32(field, m_nDataEnd);
    uint32_t put = 0;
    if (!FileIo::Write(m_hFile.Get(), field, sizeof field, &put) || !FileIo::Flush(m_hFile.Get()))
    {
        return false;
    }
    m_hFile.Reset();
    m_originalCatalog.Clear();
    m_mode = Mode::Reading;
    return true;
}

void CPackageFile::Discard()
{
    SavedError saved;
    if (IsOpen())
    {
        if (m_mode == Mode::Creating)
        {
            m_hFile.Reset();
            FileIo::Delete(m_strPath);
        }
        else if (m_mode == Mode::Appending)
        {
            // The header still points at the old catalog offset; put the old
            // catalog back there and drop the blocks written after it.
            uint32_t position = 0;
            if (FileIo::Seek(m_hFile.Get(), m_nOriginalEnd, &position) &&
                position == m_nOriginalEnd && m_originalCatalog.Write(m_hFile.Get()))
            {
                FileIo::SetEnd(m_hFile.Get());
                FileIo::Flush(m_hFile.Get());
            }
            m_hFile.Reset();
            m_nDataEnd = m_nOriginalEnd;
        }
        else
        {
            m_hFile.Reset();
        }
    }
    m_catalog.Clear();
    m_originalCatalog.Clear();
    m_mode = Mode::Reading;
}
