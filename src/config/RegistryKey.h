// The setup's one way into the registry: a wrapper that owns one open key handle and
// offers typed reads and writes, deletions and the recursive emptying of a key.
// Reads return true only on full success and leave their output alone otherwise;
// writes and deletions return the registry's result code (ERROR_SUCCESS is 0).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CRegistryKey
{
public:
    // KEY_READ | KEY_WRITE: every key the setup opens, the recursive deletions included.
    static constexpr REGSAM kDefaultAccess = 0x2001F;

    static const char* GetRuntimeClassName() { return "CRegistryKey"; }

    CRegistryKey();
    // Holds a second handle to `key`; the caller keeps and closes its own.
    explicit CRegistryKey(HKEY key);
    ~CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // --- the held key -------------------------------------------------------------
    // Creates the key or opens the existing one. The key held before is closed either
    // way; when the call fails the wrapper holds none (GetHandle() is null).
    void Create(HKEY root, const std::string& subKey, DWORD options = 0,
                REGSAM access = kDefaultAccess, LPSECURITY_ATTRIBUTES security = nullptr);
    // Opens an existing key. On failure the key held before stays held.
    bool Open(HKEY root, const std::string& subKey, REGSAM access = kDefaultAccess);
    // Closes the held key; ERROR_INVALID_HANDLE when none is held.
    LONG Close();
    // Replaces the held key with a second handle to `key`; false (holding none) when the
    // handle cannot be duplicated.
    bool Attach(HKEY key);
    // Gives the handle up without closing it.
    HKEY Detach();
    HKEY GetHandle() const { return m_hKey; }
    bool IsOpen() const { return m_hKey != nullptr; }

    // --- reading --------------------------------------------------------------------
    // REG_SZ or REG_EXPAND_SZ (not expanded), up to the first zero.
    bool QueryString(const std::string& name, std::string& value) const;
    // REG_DWORD only.
    bool QueryDword(const std::string& name, DWORD& value) const;
    bool QueryDword(const std::string& name, LONG& value) const;
    bool QueryDword(const std::string& name, unsigned int& value) const;
    bool QueryDword(const std::string& name, int& value) const;
    // REG_BINARY of exactly `size` bytes.
    bool QueryBinary(const std::string& name, void* buffer, DWORD size) const;
    bool QueryBinary(const std::string& name, BYTE (&value)[16]) const;
    // REG_BINARY of any size.
    bool QueryBinaryArray(const std::string& name, std::vector<BYTE>& value) const;
    // REG_MULTI_SZ read through the wide API, so that strings outside the code page come
    // back whole: every string the value's size holds, empty ones included (the system's
    // list of boot-time renames holds empty ones). The NT family only.
    bool QueryMultiStringW(const std::string& name, std::vector<std::u16string>& values) const;
    // REG_SZ or REG_EXPAND_SZ (not expanded) through the wide API, up to the first zero: a
    // path outside the code page comes back whole. The NT family only.
    bool QueryStringW(const std::string& name, std::u16string& value) const;

    // --- writing --------------------------------------------------------------------
    LONG SetString(const std::string& name, const std::string& value);
    LONG SetExpandString(const std::string& name, const std::string& value);
    // REG_DWORD; a bool is stored as 1 or 0.
    LONG SetDword(const std::string& name, DWORD value);
    LONG SetDword(const std::string& name, LONG value);
    LONG SetDword(const std::string& name, unsigned int value);
    LONG SetDword(const std::string& name, int value);
    LONG SetDword(const std::string& name, bool value);
    LONG SetBinary(const std::string& name, const void* bytes, DWORD size);
    LONG SetBinary(const std::string& name, const BYTE (&value)[16]);
    LONG SetBinary(const std::string& name, const std::vector<BYTE>& value);
    // REG_BINARY from hyphen-separated hex pairs such as "0A-1F-FF".
    LONG SetBinaryFromHex(const std::string& name, const std::string& hex);

    // --- deleting and enumerating ------------------------------------------------------
    LONG DeleteValue(const std::string& name);
    // Deletes a subkey of the held key; on the NT family it must have no subkeys left.
    LONG DeleteSubKey(const std::string& name);
    // Every value and subkey below the held key, recursively; the key itself stays.
    void DeleteContents();
    // Like DeleteContents, but the held key's own values stay.
    void DeleteSubKeys();
    bool EnumSubKey(DWORD index, std::string& name, std::string& className,
                    FILETIME* lastWrite = nullptr) const;
    bool EnumValue(DWORD index, std::string& name, DWORD& type) const;
    // Subkeys enumerated from index 0 up to the first failure.
    DWORD CountSubKeys() const;

private:
    // The value's type and size without reading it; false when it cannot be asked.
    bool QueryTypeAndSize(const std::string& name, DWORD& type, DWORD& size) const;
    bool QueryRawDword(const std::string& name, DWORD& value) const;
    // The value through the wide API: its type and `count` UTF-16 units in `data`.
    bool QueryWide(const std::string& name, std::vector<wchar_t>& data, DWORD& type,
                   size_t& count) const;
    // The value's bytes when it has the expected type; the output stays as it was otherwise.
    bool QueryBytes(const std::string& name, DWORD expectedType, std::vector<BYTE>& bytes) const;
    LONG SetValue(const std::string& name, DWORD type, const void* bytes, DWORD size);
    void DeleteAllValues();

    HKEY m_hKey;
};
