#include "install/SpaceEstimate.h"

#include <cctype>
#include <cstdio>

namespace SpaceEstimate
{
std::string DriveOf(const std::string& path)
{
    std::string drive;
    const char letter =
        static_cast<char>(std::toupper(static_cast<unsigned char>(path.empty() ? 0 : path[0])));
    if (path.size() >= 2 && letter >= 'A' && letter <= 'Z' && path[1] == ':')
    {
        drive = path.substr(0, 2) + "\\";
    }
    else if (path.size() > 2 && (path[0] == '\\' || path[0] == '/') &&
             (path[1] == '\\' || path[1] == '/'))
    {
        // "\\server\share\": the share is the drive.
        std::string::size_type end = path.find_first_of("\\/", 2);
        end = end == std::string::npos ? end : path.find_first_of("\\/", end + 1);
        drive = path.substr(0, end);
        for (char& c : drive)
        {
            c = c == '/' ? '\\' : c;
        }
        if (drive.size() <= 2 || drive.find('\\', 2) == std::string::npos || drive.back() == '\\')
        {
            return std::string();
        }
        drive += "\\";
    }
    for (char& c : drive)
    {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return drive;
}

uint64_t RoundUp(uint64_t bytes, uint64_t cluster)
{
    if (cluster <= 1)
    {
        return bytes;
    }
    return (bytes + cluster - 1) / cluster * cluster;
}

std::vector<Need> Needs(const std::vector<File>& files,
                        const std::map<std::string, uint64_t>& clusters)
{
    struct Sum
    {
        uint64_t written = 0;
        uint64_t freed = 0;
        uint64_t largest = 0;
    };
    std::vector<std::string> order;
    std::map<std::string, Sum> sums;
    for (const File& file : files)
    {
        if (file.drive.empty())
        {
            continue;
        }
        if (!sums.count(file.drive))
        {
            order.push_back(file.drive);
        }
        Sum& sum = sums[file.drive];
        if (file.kept)
        {
            continue;
        }
        const auto found = clusters.find(file.drive);
        const uint64_t cluster = found == clusters.end() ? 1 : found->second;
        const uint64_t size = RoundUp(file.size, cluster);
        sum.written += size;
        sum.freed += file.targetExists ? RoundUp(file.targetSize, cluster) : 0;
        sum.largest = size > sum.largest ? size : sum.largest;
    }
    std::vector<Need> needs;
    for (const std::string& drive : order)
    {
        const Sum& sum = sums[drive];
        const uint64_t net = sum.written > sum.freed ? sum.written - sum.freed : 0;
        needs.push_back({drive, net + sum.largest});
    }
    return needs;
}

bool IsPossible(uint64_t packageBytes, uint64_t unpackedBytes)
{
    // Deflate codes at best 258 bytes in two bits (a one-bit length code and a one-bit
    // distance code): 1032 bytes out for each byte in. A zlib stream's header and trailer, a
    // package's own header and catalog, and a package stored as it is only give less.
    const uint64_t kBestRatio = 1032;
    return packageBytes > UINT64_MAX / kBestRatio || unpackedBytes <= packageBytes * kBestRatio;
}

std::string Megabytes(uint64_t bytes, bool roundUp)
{
    const uint64_t megabyte = 1024 * 1024;
    const uint64_t tenths =
        roundUp ? (bytes * 10 + megabyte - 1) / megabyte : bytes * 10 / megabyte;
    char text[32];
    std::snprintf(text, sizeof(text), "%llu.%llu", static_cast<unsigned long long>(tenths / 10),
                  static_cast<unsigned long long>(tenths % 10));
    return text;
}
} // namespace SpaceEstimate
