// The registry of the Wine prefix, read and written straight through the platform.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace TestRegistry
{
bool KeyExists(const std::string& path, HKEY root = HKEY_LOCAL_MACHINE);
// The names of a key's subkeys; empty when it cannot be opened.
std::vector<std::string> SubKeys(const std::string& path, HKEY root = HKEY_LOCAL_MACHINE);
// Deletes a key with everything below it; silent when it does not exist.
void DeleteKeyTree(const std::string& path, HKEY root = HKEY_LOCAL_MACHINE);
// Values and subkeys directly in an HKLM key; -1 when it cannot be opened.
int CountValues(const std::string& path);
int CountSubKeys(const std::string& path);
bool ReadRaw(const std::string& path, const std::string& name, DWORD& type,
             std::vector<BYTE>& data);
bool ReadDword(const std::string& path, const std::string& name, DWORD& value);
// A REG_SZ value up to its first zero; "<none>" when there is no such string.
std::string ReadString(const std::string& path, const std::string& name);
// Creates the HKLM key (and its parents) when missing.
void CreateKey(const std::string& path);
void WriteDword(const std::string& path, const std::string& name, DWORD value);
void WriteString(const std::string& path, const std::string& name, const std::string& value);
void DeleteValue(const std::string& path, const std::string& name);
} // namespace TestRegistry
