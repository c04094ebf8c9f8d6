// Shared ground of the file-installation tests under Wine beyond the common support:
// packages built for a test, and a second thread that answers the replace question
// like a user.
#pragma once

#include "TestApp.h"
#include "TestFiles.h"
#include "ui/DLG_QueryReplace.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace InstallTest
{
using TestSupport::CTestApp;
using namespace TestFiles;

// 2.0.1.0 -> (2 << 48) | (0 << 32) | (1 << 16) | 0
uint64_t Version(unsigned major, unsigned minor, unsigned build, unsigned revision);

// One entry of a package under construction.
struct Item
{
    std::string name;
    uint32_t kind = 0;            // 0 file, 1 directory, 2 config object
    std::vector<uint8_t> content; // file content
    uint64_t version = 0;         // recorded file version
    uint64_t created = 0x01D0000000000000ull;
    uint64_t written = 0x01D1000000000000ull;
};

Item FileItem(const std::string& name, const std::string& content, uint64_t version = 0);
Item FileItemFrom(const std::string& name, const std::string& sourcePath, uint64_t version);

// Writes a package (build 2105, compressed unless asked) holding the items in order.
bool BuildPackage(const std::string& path, const std::vector<Item>& items, bool compressed = true);
// Changes bytes of a built package in place.
bool PatchFile(const std::string& path, uint32_t offset, const std::vector<uint8_t>& bytes);
// Replaces a name recorded in the package's catalog by another of the same length.
bool RenameInCatalog(const std::string& path, const std::string& from, const std::string& to);

enum class Answer
{
    Yes,
    No,
    YesToAll,
    Cancel,
    Escape,
    Close,
    Enter
};

// Answers the "Query Replace File" dialogs of this process in turn, as a user would,
// and remembers the question each one showed.
class CDialogAnswerer
{
public:
    explicit CDialogAnswerer(std::vector<Answer> answers);
    ~CDialogAnswerer();
    CDialogAnswerer(const CDialogAnswerer&) = delete;
    CDialogAnswerer& operator=(const CDialogAnswerer&) = delete;

    std::vector<std::string> Questions() const;

private:
    void Run();

    std::vector<Answer> m_answers;
    std::vector<std::string> m_questions;
    mutable std::mutex m_mutex;
    std::atomic<bool> m_stop;
    std::thread m_thread;
};
} // namespace InstallTest
