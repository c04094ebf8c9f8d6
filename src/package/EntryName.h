#pragma once

// Entry names are UTF-16 paths relative to a package's target folder. These
// helpers are shared by the builder, which must never write a name that could
// leave the target folder, and by every reader that turns a name into a path.

#include <cstddef>
#include <cstdint>
#include <string>

using PkgChar = char16_t;

namespace EntryName
{

// Characters a name may hold before its terminator (the field is 1024 units).
constexpr size_t kMaxLength = 1023;

size_t Length(const PkgChar* name);

// True when `name` is a relative path that stays inside the folder it is
// joined to on Windows and POSIX alike: not empty, at most kMaxLength units,
// no drive, UNC or root prefix, no empty, "." or ".." segment, no segment
// ending in a dot or space (Windows drops those, so "..." could turn into ".."),
// no reserved device name, and no character Windows forbids in a file name.
// Both '\' and '/' count as separators.
bool IsSafeRelativePath(const PkgChar* name, size_t length);

// The setup forms a file's path from its name converted to the system's ANSI
// code page: `back` receives that form read back as UTF-16. False when the name
// has no such form.
using CodePageRoundTrip = bool (*)(const PkgChar* name, size_t length, std::u16string* back);

// The round trip of this system. On Windows: the ANSI code page with the
// system's best fit, as the setup converts. Elsewhere: code page 1252, where a
// character outside the code page becomes '?', as Windows makes of a character
// it has no best fit for.
bool SystemCodePageRoundTrip(const PkgChar* name, size_t length, std::u16string* back);

// Whether the setup writes a file entry of this name: it is a safe relative
// path as stored, and still is once the round trip has been through it (the
// best fit turns full-width "\uFF0E\uFF0E\uFF3C" into "..\\").
bool IsAcceptedFileName(const PkgChar* name, size_t length, CodePageRoundTrip roundTrip);

// Case-insensitive equality in the way Windows compares file names, for the
// Latin, Greek and Cyrillic letters.
bool EqualNoCase(const PkgChar* a, size_t aLength, const PkgChar* b, size_t bLength);
PkgChar FoldCase(PkgChar c);

} // namespace EntryName
