// Compares the portable version reader with the system's own
// GetFileVersionInfoA/VerQueryValueA on the same files.

#include <gtest/gtest.h>

#include <windows.h>

#include <imagehlp.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "package/ByteOrder.h"
#include "package/PeResources.h"
#include "package/PeVersionInfo.h"

namespace
{

std::string Ansi(const std::u16string& text)
{
    if (text.empty())
    {
        return std::string();
    }
    std::wstring wide(text.begin(), text.end());
    int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

std::string SystemFile(const char* name)
{
    char folder[MAX_PATH];
    UINT n = GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder, n) + "\\" + name;
}

void CompareWithSystem(const std::string& path, bool mustHaveVersion)
{
    SCOPED_TRACE(path);
    PeVersionInfo::Info ours;
    bool read = PeVersionInfo::ReadFromFile(path, &ours);

    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
    {
        ASSERT_FALSE(mustHaveVersion);
        EXPECT_FALSE(read && ours.hasFixedInfo);
        return;
    }
    ASSERT_TRUE(read) << "system finds version data, the reader does not";
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) && length != 0)
    {
        ASSERT_TRUE(ours.hasFixedInfo);
        EXPECT_EQ(ours.fileVersionMs, fixed->dwFileVersionMS);
        EXPECT_EQ(ours.fileVersionLs, fixed->dwFileVersionLS);
        EXPECT_EQ(ours.productVersionMs, fixed->dwProductVersionMS);
        EXPECT_EQ(ours.productVersionLs, fixed->dwProductVersionLS);
        EXPECT_EQ(ours.fileFlags, fixed->dwFileFlags);
        EXPECT_EQ(ours.fileOs, fixed->dwFileOS);
        EXPECT_EQ(ours.fileType, fixed->dwFileType);
    }
    else
    {
        EXPECT_FALSE(ours.hasFixedInfo);
    }

    WORD* translation = nullptr;
    if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                       reinterpret_cast<void**>(&translation), &length) &&
        length >= 4)
    {
        ASSERT_TRUE(ours.hasTranslation);
        EXPECT_EQ(ours.language, translation[0]);
        EXPECT_EQ(ours.codePage, translation[1]);
    }

    for (const auto& entry : ours.strings)
    {
        std::string query =
            "\\StringFileInfo\\" + Ansi(ours.stringTableKey) + "\\" + Ansi(entry.first);
        char* value = nullptr;
        if (!VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
        {
            EXPECT_TRUE(entry.second.empty()) << query;
            continue;
        }
        EXPECT_EQ(std::string(value), Ansi(entry.second)) << query;
    }
}

} // namespace

TEST(PeVersionInfoWin32, FixtureMatchesTheSystem)
{
    CompareWithSystem(KELVARIN_VERSION_FIXTURE, true);
    PeVersionInfo::Info info;
    ASSERT_TRUE(PeVersionInfo::ReadFromFile(KELVARIN_VERSION_FIXTURE, &info));
    EXPECT_EQ(info.FileVersion(), 0x0001000200030004ull);
    EXPECT_EQ(info.language, 0x409);
    EXPECT_EQ(info.codePage, 1200);
    ASSERT_NE(info.FindString(u"CompanyName"), nullptr);
    EXPECT_EQ(*info.FindString(u"CompanyName"), u"Pellmor Test Fixtures");
    ASSERT_NE(info.FindString(u"ProductName"), nullptr);
    EXPECT_EQ(*info.FindString(u"ProductName"), u"Kelvarin");
}

TEST(PeVersionInfoWin32, SystemFilesMatchTheSystem)
{
    // Every Windows, and Wine, gives kernel32 a version resource.
    CompareWithSystem(SystemFile("kernel32.dll"), true);
    for (const char* name : {"user32.dll", "shell32.dll", "comctl32.dll", "version.dll",
                             "ole32.dll", "advapi32.dll", "notepad.exe"})
    {
        CompareWithSystem(SystemFile(name), false);
    }
}

TEST(PeVersionInfoWin32, FilesWithoutVersionData)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    CompareWithSystem(self, false);
    PeVersionInfo::Info info;
    EXPECT_FALSE(PeVersionInfo::ReadFromFile(self, &info));
}

// The checksum medium build sets after filling the record is the one the system's image
// helper computes, for an even length and for odd ones.
TEST(PeVersionInfoWin32, ChecksumAsTheImageHelperComputesIt)
{
    std::ifstream in(KELVARIN_VERSION_FIXTURE, std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    ASSERT_GT(image.size(), 0x200u);
    const uint32_t checksumAt = ByteOrder::GetLe32(&image[0x3C]) + 24 + 64;
    for (size_t extra : {0, 1, 3})
    {
        std::vector<uint8_t> grown = image;
        grown.insert(grown.end(), extra, 0x5A);
        DWORD stored = 0, computed = 0;
        ASSERT_NE(
            CheckSumMappedFile(grown.data(), static_cast<DWORD>(grown.size()), &stored, &computed),
            nullptr);
        EXPECT_EQ(PeResources::Checksum(grown.data(), grown.size(), checksumAt), computed) << extra;
    }
}
