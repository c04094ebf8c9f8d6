#include "package/PackageDigest.h"

#include <vector>

#include <zlib.h>

namespace PackageDigest
{

Outcome Read(FileIo::Handle file, CSha256* sha256, Figures* figures)
{
    const uint32_t kChunk = 64 * 1024;
    *figures = Figures();
    std::vector<uint8_t> buffer(kChunk);
    uLong crc = crc32(0L, Z_NULL, 0);
    if (sha256 != nullptr && !sha256->Start())
    {
        return Outcome::HashFailed;
    }
    for (;;)
    {
        uint32_t got = 0;
        if (!FileIo::Read(file, buffer.data(), kChunk, &got))
        {
            return Outcome::ReadFailed;
        }
        if (got == 0)
        {
            break;
        }
        crc = crc32(crc, buffer.data(), got);
        if (sha256 != nullptr && !sha256->Add(buffer.data(), got))
        {
            return Outcome::HashFailed;
        }
        figures->size += got;
    }
    figures->crc32 = static_cast<uint32_t>(crc);
    if (sha256 != nullptr)
    {
        if (!sha256->Finish(figures->sha256))
        {
            return Outcome::HashFailed;
        }
        figures->hasSha256 = true;
    }
    return Outcome::Done;
}

} // namespace PackageDigest
