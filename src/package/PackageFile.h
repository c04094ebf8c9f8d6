#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/BuildNumber.h"
#include "package/FileIo.h"
#include "package/PackageCatalog.h"
#include "package/UniqueHandle.h"

struct z_stream_s;

// A package file: a 256-byte header, the entries' data blocks and the
// catalog at the end. Reads packages for the installer and builds them for
// the package tool. Failures return false with the last-error code set.
class CPackageFile
{
public:
    static constexpr uint32_t kHeaderSize = 256;
    static constexpr uint32_t kBuildNumber = KELVARIN_BUILD_NUMBER;
    // Positions are signed 32-bit distances from the start of the file.
    static constexpr uint32_t kMaxPackageSize = 0x7FFFFFFFu;
    static constexpr uint32_t kChunkSize = 65536;
    static const uint8_t kMagic[16];

    explicit CPackageFile(bool diagnostics = false);
    ~CPackageFile();
    CPackageFile(const CPackageFile&) = delete;
    CPackageFile& operator=(const CPackageFile&) = delete;

    bool Open(const std::string& path, bool writable);
    uint32_t GetBuildNumber() const { return m_nBuild; }
    CPackageCatalog GetCatalog() const { return m_catalog; }
    bool IsCompressed() const { return m_bCompressed; }
    bool IsOpen() const { return m_hFile.IsValid(); }

    // Writes the entry's bytes at the destination's current position.
    bool ExtractToFile(int index, FileIo::Handle destination);
    bool ExtractToMemory(int index, std::vector<uint8_t>& buffer);
    void Close();

    bool Create(const std::string& path, bool compressed);
    // Refuse entries whose names are not safe relative paths
    // (kErrorInvalidName) and anything that would grow the package past
    // kMaxPackageSize (kErrorFileTooLarge).
    bool AddFile(const CPackageCatalogEntry& entry, FileIo::Handle source, uint32_t size);
    bool AddData(const CPackageCatalogEntry& entry, const void* bytes, uint32_t size);
    // Titles longer than 63 bytes are cut to 63.
    void SetCatalogTitle(const char* title);
    bool Commit();
    // Throws away what this session wrote: a created package is deleted, a
    // package opened to append gets its old catalog back.
    void Discard();

private:
    class Sink;
    class FileSink;
    class MemorySink;

    bool Extract(int index, Sink& sink);
    bool Copy(uint32_t storedSize, Sink& sink);
    bool Inflate(uint32_t storedSize, uint32_t unpackedSize, Sink& sink);
    bool ReadExact(void* buffer, uint32_t size);
    bool WriteBlock(const void* bytes, uint32_t size, uint32_t* stored);
    bool AddDataImpl(const CPackageCatalogEntry& entry, const void* bytes, uint32_t size);
    bool AddFileImpl(const CPackageCatalogEntry& entry, FileIo::Handle source, uint32_t size);
    bool BeginAdd(const CPackageCatalogEntry& entry);
    // Positions the file exactly at `offset`; landing elsewhere is corruption.
    bool SeekTo(uint32_t offset);
    void FinishAdd(const CPackageCatalogEntry& entry, uint32_t size, uint32_t stored);
    bool DeflateFile(FileIo::Handle source, uint32_t size, uint32_t* stored);
    bool DeflateMemory(const void* bytes, uint32_t size, uint32_t* stored);
    // A deflate stream with the package's parameters; reported when it cannot start.
    bool StartDeflate(z_stream_s& stream);
    // Drives a stream that has all its input to its end, writing what it produces.
    bool DeflateFinish(z_stream_s& stream, std::vector<uint8_t>& out, uint32_t* stored);
    void ReportZlibError(const char* message, int code) const;

    CFileHandle m_hFile;
    std::string m_strPath;
    uint32_t m_nBuild;
    bool m_bCompressed;
    uint32_t m_nDataEnd;
    bool m_bDiagnostics;
    CPackageCatalog m_catalog;

    // What Discard may do: nothing to a package opened for reading, delete
    // a created one, and put an appended one back as it was.
    enum class Mode
    {
        Reading,
        Appending,
        Creating
    };
    Mode m_mode;
    uint32_t m_nOriginalEnd;
    CPackageCatalog m_originalCatalog;
};
