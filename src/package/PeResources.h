#pragma once

// Where things lie in a PE image (PE32 or PE32+), read from the file itself
// without loading it: a resource's data, the checksum field and the
// certificate table that a signature occupies.

#include <cstddef>
#include <cstdint>
#include <string>

#include "package/FileIo.h"

namespace PeResources
{

// Random access to an image, bounded by its size; a read past the end fails
// with kErrorBadExeFormat.
class Source
{
public:
    virtual ~Source() = default;
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t size) = 0;
};

class MemorySource : public Source
{
public:
    MemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool ReadAt(uint64_t offset, void* buffer, size_t size) override;

private:
    const uint8_t* m_data;
    size_t m_size;
};

class FileSource : public Source
{
public:
    explicit FileSource(FileIo::Handle file) : m_file(file) {}
    bool ReadAt(uint64_t offset, void* buffer, size_t size) override;

private:
    FileIo::Handle m_file;
};

// A stretch of the file.
struct Location
{
    uint64_t offset = 0;
    uint32_t size = 0;
};

// How the name of a resource is matched: exactly, or, as the version reader
// does, that name else the first of the type.
enum class NameMatch
{
    Exact,
    ExactElseFirst,
};

// The data of the resource of numeric `type` and `name`, in US English or
// language neutral, else the first language. Failures set the last-error code:
// kErrorBadExeFormat, kErrorResourceDataNotFound (no resources, or no such
// name), kErrorResourceTypeNotFound, or the system's when the file cannot be read.
bool Find(Source& source, uint32_t type, uint32_t name, NameMatch match, Location* data);

// The fields of the optional header that a signature and its checksum concern.
struct Fields
{
    uint64_t checksumOffset = 0; // of the 4-byte checksum field
    uint32_t checksum = 0;
    uint64_t certificateEntryOffset = 0; // of the 8-byte directory entry
    Location certificateTable;           // size 0: not signed
};
bool ReadFields(Source& source, Fields* fields);

// The image checksum as the system's image helper computes it: 16-bit words
// summed with their carries folded, the checksum field counted as zero, plus
// the file's length.
uint32_t Checksum(const uint8_t* image, size_t size, uint64_t checksumOffset);

} // namespace PeResources
