// The record of a medium's packages in Setup.exe's room, and the figures it holds: read
// back as written, refused when damaged, and judged as the setup judges a package.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "TestSupport.h"
#include "package/PackageDigest.h"
#include "package/PackageRecord.h"
#include "package/UniqueHandle.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace TestSupport;

namespace
{
CPackageRecord::Row MakeRow(const std::string& name, uint32_t size, uint8_t fill)
{
    CPackageRecord::Row row;
    row.name = name;
    row.size = size;
    row.crc32 = 0x01020304u * fill;
    std::memset(row.sha256, fill, sizeof row.sha256);
    return row;
}
} // namespace

TEST(PackageRecord, ReadsWhatItWroteAndRefusesADamagedRoom)
{
    CPackageRecord written;
    written.Add(MakeRow("PRCFG.PKG", 9812, 1));
    written.Add(MakeRow("PRL_ENGL.PKG", 3540, 2));
    std::vector<uint8_t> room = RecordRoom();
    CPackageRecord read;
    EXPECT_EQ(read.Read(room.data(), room.size()), CPackageRecord::State::Empty);
    ASSERT_TRUE(written.Write(room.data(), room.size()));
    ASSERT_EQ(read.Read(room.data(), room.size()), CPackageRecord::State::Filled);
    ASSERT_EQ(read.Rows().size(), 2u);
    const CPackageRecord::Row* row = read.Find("prl_engl.pkg");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->name, "PRL_ENGL.PKG");
    EXPECT_EQ(row->size, 3540u);
    EXPECT_EQ(row->crc32, 0x02040608u);
    EXPECT_EQ(std::vector<uint8_t>(row->sha256, row->sha256 + 32), std::vector<uint8_t>(32, 2));
    EXPECT_EQ(read.Find("PRLEX.PKG"), nullptr);

    const struct
    {
        const char* what;
        size_t offset;
        std::string bytes;
    } damage[] = {
        {"magic", 0, "X"},
        {"format", 8, "\x02"},
        {"more rows than the room holds", 13, "\x10"},
        {"a name with a control character", 16 + 3, "\x07"},
        {"a name not padded with zeros", 16 + 15, "A"},
        {"an empty name", 16, std::string(1, '\0')},
        {"a name twice", 16 + 64, std::string("PRCFG.PKG\0\0\0", 12)},
    };
    for (const auto& d : damage)
    {
        std::vector<uint8_t> bad = room;
        std::copy(d.bytes.begin(), d.bytes.end(), bad.begin() + static_cast<long>(d.offset));
        CPackageRecord record;
        EXPECT_EQ(record.Read(bad.data(), bad.size()), CPackageRecord::State::Malformed) << d.what;
        EXPECT_TRUE(record.Rows().empty()) << d.what;
    }
    EXPECT_EQ(read.Read(room.data(), 15), CPackageRecord::State::Malformed);

    // Rows that do not fit, or a name longer than its field, are not written.
    CPackageRecord tooMany;
    for (int i = 0; i < 64; ++i)
    {
        tooMany.Add(MakeRow("P" + std::to_string(i) + ".PKG", 1, 1));
    }
    EXPECT_FALSE(tooMany.Write(room.data(), room.size()));
    CPackageRecord longName;
    longName.Add(MakeRow("SIXTEEN_CHARS.PK", 1, 1));
    EXPECT_FALSE(longName.Write(room.data(), room.size()));
}

TEST(PackageRecord, JudgesAPackageAsTheSetupDoes)
{
    const CPackageRecord::Row row = MakeRow("PRCFG.PKG", 100, 7);
    uint8_t same[32], other[32];
    std::memset(same, 7, sizeof same);
    std::memset(other, 7, sizeof other);
    other[31] = 8;
    using V = CPackageRecord::Verdict;
    EXPECT_EQ(CPackageRecord::BySize(nullptr, 100), V::NotRecorded);
    EXPECT_EQ(CPackageRecord::BySize(&row, 99), V::Shorter);
    EXPECT_EQ(CPackageRecord::BySize(&row, 101), V::Longer);
    EXPECT_EQ(CPackageRecord::BySize(&row, 0x100000064ull), V::Longer); // beyond 32 bits
    EXPECT_EQ(CPackageRecord::BySize(&row, 100), V::Same);
    EXPECT_EQ(CPackageRecord::ByContent(row, row.crc32, same), V::Same);
    EXPECT_EQ(CPackageRecord::ByContent(row, row.crc32, other), V::Different);
    // Without SHA-256 the CRC-32 decides, whatever else is at hand.
    EXPECT_EQ(CPackageRecord::ByContent(row, row.crc32, nullptr), V::Same);
    EXPECT_EQ(CPackageRecord::ByContent(row, row.crc32 ^ 1, nullptr), V::Different);
}

// The figures of a file, against the published check values of "123456789": the
// system's SHA-256 (CryptoAPI under Wine, libcrypto natively) and zlib's CRC-32.
TEST(PackageDigest, GivesTheCheckValues)
{
    ScratchDir dir;
    WriteAll(dir.File("nine.bin"), {'1', '2', '3', '4', '5', '6', '7', '8', '9'});
    const uint8_t kSha256[32] = {0x15, 0xe2, 0xb0, 0xd3, 0xc3, 0x38, 0x91, 0xeb, 0xb0, 0xf1, 0xef,
                                 0x60, 0x9e, 0xc4, 0x19, 0x42, 0x0c, 0x20, 0xe3, 0x20, 0xce, 0x94,
                                 0xc6, 0x5f, 0xbc, 0x8c, 0x33, 0x12, 0x44, 0x8e, 0xb2, 0x25};
    CSha256 sha256;
#ifdef _WIN32
    {
        // A user's own default for the provider type must not take SHA-256 away.
        const char* const kUserDefault = "Software\\Microsoft\\Cryptography\\Provider Type 024";
        const char kBase[] = "Microsoft Base Cryptographic Provider v1.0";
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kUserDefault, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(kBase), sizeof kBase);
        const CSha256::Availability offered = sha256.Open();
        RegDeleteValueA(key, "Name");
        RegCloseKey(key);
        RegDeleteKeyA(HKEY_CURRENT_USER, kUserDefault);
        ASSERT_EQ(offered, CSha256::Availability::Offered);
    }
#else
    ASSERT_EQ(sha256.Open(), CSha256::Availability::Offered);
#endif
    for (bool withSha256 : {true, false})
    {
        CFileHandle file(FileIo::OpenExisting(dir.File("nine.bin"), false));
        ASSERT_TRUE(file.IsValid());
        PackageDigest::Figures figures;
        ASSERT_EQ(PackageDigest::Read(file.Get(), withSha256 ? &sha256 : nullptr, &figures),
                  PackageDigest::Outcome::Done);
        EXPECT_EQ(figures.size, 9u);
        EXPECT_EQ(figures.crc32, 0xCBF43926u);
        EXPECT_EQ(figures.hasSha256, withSha256);
        if (withSha256)
        {
            EXPECT_EQ(std::memcmp(figures.sha256, kSha256, 32), 0);
        }
    }
}
