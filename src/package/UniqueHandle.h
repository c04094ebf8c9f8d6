// The owner of one handle-like resource: a file, a search, a key, a block of
// memory. It cannot be copied, can be moved, releases the resource when it goes
// away, and keeps the thread's last-error code across that release, so that a
// failure is still reported with its own reason after the clean-up.
#pragma once

#include "package/FileIo.h"

// Traits: `Value`, `static Value Invalid()`, `static void Close(Value)`.
template <typename Traits> class CUniqueHandle
{
public:
    using Value = typename Traits::Value;

    CUniqueHandle() : m_value(Traits::Invalid()) {}
    explicit CUniqueHandle(Value value) : m_value(value) {}
    ~CUniqueHandle() { Reset(); }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    CUniqueHandle(CUniqueHandle&& other) : m_value(other.Release()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other)
    {
        if (this != &other)
        {
            Reset(other.Release());
        }
        return *this;
    }

    Value Get() const { return m_value; }
    bool IsValid() const { return m_value != Traits::Invalid(); }

    // Gives the resource up without releasing it.
    Value Release()
    {
        const Value value = m_value;
        m_value = Traits::Invalid();
        return value;
    }

    void Reset(Value value = Traits::Invalid())
    {
        if (IsValid())
        {
            const uint32_t saved = FileIo::GetLastError();
            Traits::Close(m_value);
            FileIo::SetLastError(saved);
        }
        m_value = value;
    }

    // For functions that hand the resource out through a pointer.
    Value* Receive()
    {
        Reset();
        return &m_value;
    }

private:
    Value m_value;
};

namespace FileIo
{
struct HandleTraits
{
    using Value = Handle;
    static Handle Invalid() { return InvalidHandle(); }
    static void Close(Handle file) { FileIo::Close(file); }
};
} // namespace FileIo

// An open file of the file layer (a Win32 file handle on Windows).
using CFileHandle = CUniqueHandle<FileIo::HandleTraits>;
