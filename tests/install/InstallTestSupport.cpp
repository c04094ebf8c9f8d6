#include "InstallTestSupport.h"

#include "package/PackageFile.h"

#include <algorithm>
#include <chrono>

namespace InstallTest
{
uint64_t Version(unsigned major, unsigned minor, unsigned build, unsigned revision)
{
    return (static_cast<uint64_t>(major) << 48) | (static_cast<uint64_t>(minor) << 32) |
           (static_cast<uint64_t>(build) << 16) | revision;
}

Item FileItem(const std::string& name, const std::string& content, uint64_t version)
{
    Item item;
    item.name = name;
    item.content.assign(content.begin(), content.end());
    item.version = version;
    return item;
}

Item FileItemFrom(const std::string& name, const std::string& sourcePath, uint64_t version)
{
    Item item;
    item.name = name;
    item.content = ReadBytes(sourcePath);
    item.version = version;
    return item;
}

namespace
{
// Names are written in UTF-8 in the tests (the Basic Multilingual Plane is enough).
std::u16string Wide(const std::string& text)
{
    std::u16string wide;
    for (size_t i = 0; i < text.size(); ++i)
    {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0xE0 && i + 2 < text.size())
        {
            wide += static_cast<char16_t>(((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) |
                                          (text[i + 2] & 0x3F));
            i += 2;
        }
        else if (c >= 0xC0 && i + 1 < text.size())
        {
            wide += static_cast<char16_t>(((c & 0x1F) << 6) | (text[i + 1] & 0x3F));
            i += 1;
        }
        else
        {
            wide += static_cast<char16_t>(c);
        }
    }
    return wide;
}
} // namespace

bool BuildPackage(const std::string& path, const std::vector<Item>& items, bool compressed)
{
    DeleteFileA(path.c_str());
    CPackageFile package(false);
    if (!package.Create(path, compressed))
    {
        return false;
    }
    for (const Item& item : items)
    {
        const std::u16string name = Wide(item.name);
        CPackageCatalogEntry entry;
        bool ok = true;
        switch (item.kind)
        {
        case CPackageCatalogEntry::kKindFile:
            ok = entry.SetFile(name.c_str(), item.created, item.written,
                               static_cast<uint32_t>(item.version),
                               static_cast<uint32_t>(item.version >> 32)) &&
                 package.AddData(entry, item.content.data(),
                                 static_cast<uint32_t>(item.content.size()));
            break;
        case CPackageCatalogEntry::kKindDirectory:
            ok = entry.SetDirectory(name.c_str()) && package.AddData(entry, nullptr, 0);
            break;
        default:
        {
            const uint8_t identifier[16] = {1, 2, 3};
            ok = entry.SetConfigObject(name.c_str(), 1, identifier, 2, 3) &&
                 package.AddData(entry, nullptr, 0);
            break;
        }
        }
        if (!ok)
        {
            package.Discard();
            return false;
        }
    }
    return package.Commit();
}

bool PatchFile(const std::string& path, uint32_t offset, const std::vector<uint8_t>& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    DWORD done = 0;
    const bool ok =
        SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == offset &&
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
        done == bytes.size();
    CloseHandle(file);
    return ok;
}

bool RenameInCatalog(const std::string& path, const std::string& from, const std::string& to)
{
    if (from.size() != to.size())
    {
        return false;
    }
    const std::vector<uint8_t> bytes = ReadBytes(path);
    std::vector<uint8_t> needle, replacement;
    for (size_t i = 0; i < from.size(); ++i)
    {
        needle.push_back(static_cast<uint8_t>(from[i]));
        needle.push_back(0);
        replacement.push_back(static_cast<uint8_t>(to[i]));
        replacement.push_back(0);
    }
    const auto at = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
    if (at == bytes.end())
    {
        return false;
    }
    return PatchFile(path, static_cast<uint32_t>(at - bytes.begin()), replacement);
}

CDialogAnswerer::CDialogAnswerer(std::vector<Answer> answers)
    : m_answers(std::move(answers)), m_stop(false), m_thread(&CDialogAnswerer::Run, this)
{
}

CDialogAnswerer::~CDialogAnswerer()
{
    m_stop = true;
    m_thread.join();
}

std::vector<std::string> CDialogAnswerer::Questions() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_questions;
}

namespace
{
struct Search
{
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindQuestion(HWND hWnd, LPARAM param)
{
    Search* search = reinterpret_cast<Search*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(hWnd, &process);
    if (process != search->process || !IsWindowVisible(hWnd))
    {
        return TRUE;
    }
    // Other windows of the test (the progress dialog) belong to a thread that may
    // not be reading its messages: never wait for them.
    char caption[64] = "";
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutA(hWnd, WM_GETTEXT, sizeof(caption), reinterpret_cast<LPARAM>(caption),
                            SMTO_ABORTIFHUNG | SMTO_BLOCK, 50, &copied) &&
        std::string(caption) == "Query Replace File")
    {
        search->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

void PressKey(HWND hWnd, WORD key)
{
    PostMessageA(hWnd, WM_KEYDOWN, key, 1);
    PostMessageA(hWnd, WM_KEYUP, key, 0xC0000001);
}
} // namespace

void CDialogAnswerer::Run()
{
    size_t next = 0;
    while (!m_stop)
    {
        Search search = {GetCurrentProcessId(), nullptr};
        EnumWindows(&FindQuestion, reinterpret_cast<LPARAM>(&search));
        if (!search.found)
        {
            Sleep(10);
            continue;
        }
        HWND dlg = search.found;
        char text[2048] = "";
        GetDlgItemTextA(dlg, 1007, text, sizeof(text));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_questions.push_back(text);
        }
        const Answer answer = next < m_answers.size() ? m_answers[next] : Answer::Cancel;
        ++next;
        HWND focus = GetDlgItem(dlg, IDOK);
        switch (answer)
        {
        case Answer::Yes:
            PostMessageA(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
            break;
        case Answer::No:
            PostMessageA(GetDlgItem(dlg, 1009), BM_CLICK, 0, 0);
            break;
        case Answer::YesToAll:
            PostMessageA(GetDlgItem(dlg, 1008), BM_CLICK, 0, 0);
            break;
        case Answer::Cancel:
            PostMessageA(GetDlgItem(dlg, IDCANCEL), BM_CLICK, 0, 0);
            break;
        case Answer::Escape:
            PressKey(focus, VK_ESCAPE);
            break;
        case Answer::Enter:
            PressKey(focus, VK_RETURN);
            break;
        case Answer::Close:
            PostMessageA(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        }
        // The next question comes in a new window.
        for (int i = 0; i < 1000 && IsWindow(dlg) && IsWindowVisible(dlg); ++i)
        {
            Sleep(10);
        }
    }
}
} // namespace InstallTest
