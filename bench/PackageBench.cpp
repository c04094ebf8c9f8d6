// Measures the package archive against plain zlib, tar and zip on the same
// data in one run and prints the ratios.
//
//   package_bench [--dir SCRATCH] [--pkgtool PATH] [--size-mib N]
//   package_bench --extract-peak PACKAGE OUTPUT     (child used for memory)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <zlib.h>

#include "package/PackageFile.h"

namespace
{

constexpr uint32_t kChunk = CPackageFile::kChunkSize;
constexpr uint64_t kMiB = 1024 * 1024;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void Die(const std::string& what)
{
    std::fprintf(stderr, "package_bench: %s: %s\n", what.c_str(),
                 FileIo::ErrorText(FileIo::GetLastError()).c_str());
    std::exit(1);
}

// Text-like data that deflate shrinks to roughly a third.
void WriteCompressible(const std::string& path, uint64_t size)
{
    static const char* kWords[] = {
        "prompter ", "script ", "speaker ", "scroll ", "speed ",  "mirror ", "font ", "cue ",
        "line ",     "the ",    "and ",     "of ",     "studio ", "camera ", "read ", "\n"};
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr)
    {
        Die(path);
    }
    std::vector<char> buffer;
    buffer.reserve(kChunk + 16);
    uint32_t x = 12345;
    uint64_t written = 0;
    while (written < size)
    {
        buffer.clear();
        while (buffer.size() < kChunk)
        {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            const char* word = kWords[x & 15];
            buffer.insert(buffer.end(), word, word + std::strlen(word));
            if ((x >> 8) % 7 == 0)
            {
                char digits[8];
                int n = std::snprintf(digits, sizeof digits, "%u ", (x >> 12) % 1000);
                buffer.insert(buffer.end(), digits, digits + n);
            }
        }
        size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - written));
        std::fwrite(buffer.data(), 1, n, out);
        written += n;
    }
    std::fclose(out);
}

// A file of zeros, sparse on disk: cheap to make at any size.
void WriteZeros(const std::string& path, uint64_t size)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0)
    {
        Die(path);
    }
    close(fd);
}

uint64_t FileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

void MakePackage(const std::string& package, const std::string& source, double* seconds)
{
    uint64_t size = FileSize(source);
    Clock::time_point start = Clock::now();
    CPackageFile file;
    if (!file.Create(package, true))
    {
        Die(package);
    }
    FileIo::Handle in = FileIo::OpenExisting(source, false);
    CPackageCatalogEntry entry;
    entry.SetFile(u"payload.txt", 0, 0, 0, 0);
    if (in == FileIo::InvalidHandle() || !file.AddFile(entry, in, static_cast<uint32_t>(size)))
    {
        Die(source);
    }
    FileIo::Close(in);
    if (!file.Commit())
    {
        Die(package);
    }
    if (seconds != nullptr)
    {
        *seconds = Seconds(start);
    }
}

// zlib's own streaming loop with the package's buffer sizes, flushed to disk
// at the end as the package's commit is.
double PlainDeflate(const std::string& source, const std::string& target)
{
    Clock::time_point start = Clock::now();
    int in = open(source.c_str(), O_RDONLY);
    int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<unsigned char> inBuffer(kChunk), outBuffer(kChunk);
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    int flush;
    do
    {
        ssize_t got = read(in, inBuffer.data(), kChunk);
        flush = got <= 0 ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = inBuffer.data();
        stream.avail_in = got > 0 ? static_cast<uInt>(got) : 0;
        do
        {
            stream.next_out = outBuffer.data();
            stream.avail_out = kChunk;
            deflate(&stream, flush);
            size_t have = kChunk - stream.avail_out;
            if (write(out, outBuffer.data(), have) != static_cast<ssize_t>(have))
            {
                Die(target);
            }
        } while (stream.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&stream);
    fsync(out);
    close(in);
    close(out);
    return Seconds(start);
}

double PlainInflate(const std::string& stream, uint64_t offset, const std::string& target)
{
    Clock::time_point start = Clock::now();
    int in = open(stream.c_str(), O_RDONLY);
    lseek(in, static_cast<off_t>(offset), SEEK_SET);
    int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<unsigned char> inBuffer(kChunk), outBuffer(kChunk);
    z_stream z{};
    inflateInit(&z);
    int rc = Z_OK;
    do
    {
        ssize_t got = read(in, inBuffer.data(), kChunk);
        if (got <= 0)
        {
            break;
        }
        z.next_in = inBuffer.data();
        z.avail_in = static_cast<uInt>(got);
        do
        {
            z.next_out = outBuffer.data();
            z.avail_out = kChunk;
            rc = inflate(&z, Z_NO_FLUSH);
            size_t have = kChunk - z.avail_out;
            if (write(out, outBuffer.data(), have) != static_cast<ssize_t>(have))
            {
                Die(target);
            }
        } while (z.avail_out == 0 && rc == Z_OK);
    } while (rc != Z_STREAM_END);
    inflateEnd(&z);
    close(in);
    close(out);
    return Seconds(start);
}

double PackageExtract(const std::string& package, const std::string& target)
{
    Clock::time_point start = Clock::now();
    CPackageFile file;
    if (!file.Open(package, false))
    {
        Die(package);
    }
    FileIo::Handle out = FileIo::CreateAlways(target);
    if (out == FileIo::InvalidHandle() || !file.ExtractToFile(0, out))
    {
        Die(target);
    }
    FileIo::Close(out);
    return Seconds(start);
}

// Peak resident memory, in KiB, of a child that extracts the package.
long ExtractPeakKiB(const std::string& self, const std::string& package, const std::string& target)
{
    pid_t child = fork();
    if (child == 0)
    {
        execl(self.c_str(), self.c_str(), "--extract-peak", package.c_str(), target.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
    {
        std::fprintf(stderr, "package_bench: the extracting child failed\n");
        std::exit(1);
    }
    return usage.ru_maxrss;
}

double Run(const std::string& command)
{
    Clock::time_point start = Clock::now();
    int status = std::system(command.c_str());
    if (status != 0)
    {
        return -1;
    }
    return Seconds(start);
}

bool Have(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quote(const std::string& s)
{
    return "'" + s + "'";
}

std::string Time(double seconds)
{
    char text[32];
    if (seconds < 0)
    {
        return "failed";
    }
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--extract-peak") == 0)
    {
        PackageExtract(argv[2], argv[3]);
        return 0;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string scratchRoot = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    std::string pkgtool = KELVARIN_PKGTOOL;
    uint64_t sizeMiB = 256;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        std::string option = argv[i];
        if (option == "--dir")
        {
            scratchRoot = argv[i + 1];
        }
        else if (option == "--pkgtool")
        {
            pkgtool = argv[i + 1];
        }
        else if (option == "--size-mib")
        {
            sizeMiB = std::strtoull(argv[i + 1], nullptr, 10);
        }
        else
        {
            std::fprintf(stderr,
                         "usage: package_bench [--dir SCRATCH] [--pkgtool PATH] [--size-mib N]\n");
            return 2;
        }
    }
    std::string templ = scratchRoot + "/kelvarin-bench-XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr)
    {
        std::perror("mkdtemp");
        return 1;
    }
    std::string dir = name.data();
    std::string self = "/proc/self/exe";
    char resolved[4096];
    ssize_t n = readlink(self.c_str(), resolved, sizeof resolved - 1);
    if (n > 0)
    {
        resolved[n] = '\0';
        self = resolved;
    }

    std::string payloadDir = dir + "/payload";
    mkdir(payloadDir.c_str(), 0755);
    std::string source = payloadDir + "/payload.txt";
    std::string package = dir + "/payload.pkg";
    std::string out = dir + "/out.bin";
    uint64_t size = sizeMiB * kMiB;
    std::printf("payload: %llu MiB of compressible text in %s\n",
                static_cast<unsigned long long>(sizeMiB), dir.c_str());
    WriteCompressible(source, size);

    // Creating: best of two runs each, alternating.
    double pkgCreate = 1e9, zlibCreate = 1e9;
    for (int round = 0; round < 2; ++round)
    {
        unlink(package.c_str());
        double t = 0;
        MakePackage(package, source, &t);
        pkgCreate = std::min(pkgCreate, t);
        zlibCreate = std::min(zlibCreate, PlainDeflate(source, dir + "/plain.z"));
        unlink((dir + "/plain.z").c_str());
    }
    uint64_t packed = FileSize(package);
    std::printf("compressed: %.1f MiB (%.2f:1)\n", static_cast<double>(packed) / kMiB,
                static_cast<double>(size) / static_cast<double>(packed));

    // Extracting: best of three runs each, alternating, from the same stream.
    double pkgExtract = 1e9, zlibExtract = 1e9;
    for (int round = 0; round < 3; ++round)
    {
        pkgExtract = std::min(pkgExtract, PackageExtract(package, out));
        unlink(out.c_str());
        zlibExtract = std::min(zlibExtract, PlainInflate(package, CPackageFile::kHeaderSize, out));
        unlink(out.c_str());
    }
    std::printf("\n%-36s %10s %12s %8s\n", "", "package", "plain zlib", "speed");
    std::printf("%-36s %10s %12s %7.2fx  (target >= 0.90x)\n", "extract to file (64 KiB buffers)",
                Time(pkgExtract).c_str(), Time(zlibExtract).c_str(), zlibExtract / pkgExtract);
    std::printf("%-36s %10s %12s %7.2fx  (target >= 0.90x)\n", "create, default level, flushed",
                Time(pkgCreate).c_str(), Time(zlibCreate).c_str(), zlibCreate / pkgCreate);

    // Peak memory of extraction, whatever the entry size.
    std::printf("\npeak resident memory of a process extracting one entry to a file:\n");
    for (uint64_t entryMiB : {16ull, 1024ull})
    {
        std::string zeros = dir + "/zeros.bin";
        std::string zerosPackage = dir + "/zeros.pkg";
        WriteZeros(zeros, entryMiB * kMiB);
        MakePackage(zerosPackage, zeros, nullptr);
        unlink(zeros.c_str());
        long kib = ExtractPeakKiB(self, zerosPackage, out);
        std::printf("  %5llu MiB entry: %6.1f MiB  (limit 16 MiB)\n",
                    static_cast<unsigned long long>(entryMiB), kib / 1024.0);
        unlink(out.c_str());
        unlink(zerosPackage.c_str());
    }

    // The same payload through the usual archivers.
    std::printf("\nthe same payload folder through the command-line tools:\n");
    std::string toolPackage = dir + "/tool.pkg";
    double toolCreate = Run(Quote(pkgtool) + " create " + Quote(toolPackage) + " " +
                            Quote(payloadDir) + " >/dev/null");
    double toolExtract =
        Run(Quote(pkgtool) + " extract " + Quote(toolPackage) + " " + Quote(dir + "/x-pkg"));
    std::printf("  %-22s create %10s   extract %10s   size %6.1f MiB\n", "pkgtool",
                Time(toolCreate).c_str(), Time(toolExtract).c_str(),
                static_cast<double>(FileSize(toolPackage)) / kMiB);
    if (Have("tar") && Have("gzip"))
    {
        std::string tarball = dir + "/payload.tar.gz";
        double create = Run("tar -czf " + Quote(tarball) + " -C " + Quote(dir) + " payload");
        Run("mkdir " + Quote(dir + "/x-tar"));
        double extract = Run("tar -xzf " + Quote(tarball) + " -C " + Quote(dir + "/x-tar"));
        std::printf("  %-22s create %10s   extract %10s   size %6.1f MiB\n", "tar -czf / tar -xzf",
                    Time(create).c_str(), Time(extract).c_str(),
                    static_cast<double>(FileSize(tarball)) / kMiB);
    }
    else
    {
        std::printf("  tar/gzip: not installed, skipped\n");
    }
    if (Have("zip") && Have("unzip"))
    {
        std::string zipFile = dir + "/payload.zip";
        double create = Run("cd " + Quote(dir) + " && zip -q -r " + Quote(zipFile) + " payload");
        double extract = Run("unzip -q " + Quote(zipFile) + " -d " + Quote(dir + "/x-zip"));
        std::printf("  %-22s create %10s   extract %10s   size %6.1f MiB\n", "zip -r / unzip",
                    Time(create).c_str(), Time(extract).c_str(),
                    static_cast<double>(FileSize(zipFile)) / kMiB);
    }
    else
    {
        std::printf("  zip/unzip: not installed, skipped (apt-get install zip unzip)\n");
    }

    Run("rm -rf " + Quote(dir));
    return 0;
}
