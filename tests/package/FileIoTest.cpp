#include <gtest/gtest.h>

#include "TestSupport.h"
#include "package/FileIo.h"

#ifndef _WIN32
#include <cerrno>
#endif

using namespace TestSupport;

TEST(FileIo, OpenAndCreateReportWin32Codes)
{
    ScratchDir dir;
    std::string file = dir.File("f");
    FileIo::Handle h = FileIo::CreateNew(file);
    ASSERT_NE(h, FileIo::InvalidHandle());
    FileIo::Close(h);
    EXPECT_EQ(h, FileIo::InvalidHandle());

    EXPECT_EQ(FileIo::CreateNew(file), FileIo::InvalidHandle());
    EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorFileExists);
    EXPECT_EQ(FileIo::OpenExisting(dir.File("missing"), false), FileIo::InvalidHandle());
    EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorFileNotFound);
    EXPECT_EQ(FileIo::OpenExisting(dir.File("missing/x"), false), FileIo::InvalidHandle());
    EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorPathNotFound);
    EXPECT_FALSE(FileIo::Delete(dir.File("missing")));
    EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorFileNotFound);
    EXPECT_TRUE(FileIo::Delete(file));
}

TEST(FileIo, SeekIsLimitedToSigned32BitDistances)
{
    ScratchDir dir;
    FileIo::Handle h = FileIo::CreateNew(dir.File("f"));
    ASSERT_NE(h, FileIo::InvalidHandle());
    uint32_t position = 0;
    EXPECT_TRUE(FileIo::Seek(h, 0x7FFFFFFFu, &position));
    EXPECT_EQ(position, 0x7FFFFFFFu);
    EXPECT_FALSE(FileIo::Seek(h, 0x80000000u, &position));
    EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorNegativeSeek);
    FileIo::Close(h);
}

TEST(FileIo, ReadStopsAtTheEndAndWriteTruncates)
{
    ScratchDir dir;
    FileIo::Handle h = FileIo::CreateNew(dir.File("f"));
    uint32_t done = 0, position = 0;
    ASSERT_TRUE(FileIo::Write(h, "abcdef", 6, &done));
    EXPECT_EQ(done, 6u);
    ASSERT_TRUE(FileIo::Seek(h, 4, &position));
    ASSERT_TRUE(FileIo::SetEnd(h));
    uint64_t size = 0;
    ASSERT_TRUE(FileIo::GetSize(h, &size));
    EXPECT_EQ(size, 4u);
    ASSERT_TRUE(FileIo::Seek(h, 2, &position));
    char buffer[8] = {};
    ASSERT_TRUE(FileIo::Read(h, buffer, sizeof buffer, &done));
    EXPECT_EQ(done, 2u);
    EXPECT_EQ(std::string(buffer, 2), "cd");
    ASSERT_TRUE(FileIo::Flush(h));
    FileIo::Close(h);
}

TEST(FileIo, EveryCodeHasAText)
{
    for (uint32_t code :
         {FileIo::kErrorSuccess, FileIo::kErrorFileNotFound, FileIo::kErrorAccessDenied,
          FileIo::kErrorHandleEof, FileIo::kErrorDiskFull, FileIo::kErrorFileCorrupt,
          FileIo::kErrorFileTooLarge, FileIo::kErrorInvalidName, 99999u})
    {
        std::string text = FileIo::ErrorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_NE(text.back(), '\n') << code;
    }
#ifndef _WIN32
    EXPECT_EQ(FileIo::ErrorText(FileIo::kErrorFileCorrupt),
              "The file or directory is corrupted and unreadable.");
    EXPECT_EQ(FileIo::ErrorText(99999u), "Error 99999");
#endif
}

#ifndef _WIN32
TEST(FileIo, ErrnoMapsToWin32Codes)
{
    const struct
    {
        int err;
        uint32_t code;
    } cases[] = {
        {0, FileIo::kErrorSuccess},
        {ENOENT, FileIo::kErrorFileNotFound},
        {ENOTDIR, FileIo::kErrorPathNotFound},
        {EACCES, FileIo::kErrorAccessDenied},
        {EROFS, FileIo::kErrorAccessDenied},
        {EEXIST, FileIo::kErrorFileExists},
        {ENOSPC, FileIo::kErrorDiskFull},
        {EFBIG, FileIo::kErrorFileTooLarge},
        {EIO, FileIo::kErrorIoDevice},
        {ENAMETOOLONG, FileIo::kErrorFilenameExcedRange},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(FileIo::ErrorFromErrno(c.err), c.code) << c.err;
    }
    // Without a Win32 counterpart the errno travels in the code and keeps its text.
    uint32_t code = FileIo::ErrorFromErrno(EPIPE);
    EXPECT_EQ(code, FileIo::kErrnoFlag | EPIPE);
    EXPECT_EQ(FileIo::ErrorText(code), std::string(strerror(EPIPE)));
}
#else
TEST(FileIo, WritableOpensAreExclusiveAndReadOnlyOpensShareReading)
{
    ScratchDir dir;
    std::string file = dir.File("f");
    WriteAll(file, {1});
    FileIo::Handle reader = FileIo::OpenExisting(file, false);
    ASSERT_NE(reader, FileIo::InvalidHandle());
    FileIo::Handle second = FileIo::OpenExisting(file, false);
    EXPECT_NE(second, FileIo::InvalidHandle());
    FileIo::Close(second);
    EXPECT_EQ(FileIo::OpenExisting(file, true), FileIo::InvalidHandle());
    EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorSharingViolation);
    FileIo::Close(reader);

    FileIo::Handle writer = FileIo::OpenExisting(file, true);
    ASSERT_NE(writer, FileIo::InvalidHandle());
    EXPECT_EQ(FileIo::OpenExisting(file, false), FileIo::InvalidHandle());
    EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorSharingViolation);
    FileIo::Close(writer);
}
#endif
