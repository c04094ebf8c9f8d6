// Opens the input as a package and extracts every entry, to memory and to a
// file; also reads the input as a PE image's version resource.

#include <cstdint>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "package/PackageFile.h"
#include "package/PeVersionInfo.h"

namespace
{
// The input lives in an anonymous memory file, so nothing is left on disk
// however the fuzzer ends; the package opens it by its /proc path.
int MemoryFile()
{
    static const int fd = memfd_create("kelvarin-package-fuzz", MFD_CLOEXEC);
    return fd;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PeVersionInfo::Info version;
    PeVersionInfo::ReadFromMemory(data, size, &version);

    int fd = MemoryFile();
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    {
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    CPackageFile package(false);
    if (!package.Open(path, false))
    {
        return 0;
    }
    package.GetBuildNumber();
    CPackageCatalog catalog = package.GetCatalog();
    FileIo::Handle sink = FileIo::OpenExisting("/dev/null", true);
    for (int i = -1; i <= catalog.GetCount(); ++i)
    {
        CPackageCatalogEntry entry = catalog.GetEntry(i);
        entry.GetKindName();
        EntryName::IsSafeRelativePath(entry.GetName(), entry.GetNameLength());
        catalog.FindEntry(entry.GetName());
        std::vector<uint8_t> bytes;
        if (package.ExtractToMemory(i, bytes) && bytes.size() != entry.GetUnpackedSize())
        {
            __builtin_trap(); // a successful extract must deliver the recorded size
        }
        if (sink != FileIo::InvalidHandle())
        {
            package.ExtractToFile(i, sink);
        }
    }
    FileIo::Close(sink);
    package.Close();
    return 0;
}
