// The choices the file installer makes from plain values, kept apart from the
// Win32 calls so they can be checked on any platform.
#pragma once

#include <cstdint>
#include <string>

namespace ReplaceRules
{
enum class Action
{
    Write, // put the package's file at the target
    Keep,  // leave the existing file as it is
    Ask    // the existing file has no version: the user decides
};

// Which way a file goes. Versions are (major << 16 | minor) << 32 | (build << 16 | revision),
// 0 when absent; `askBeforeReplace` is cleared once the user answered Yes To All.
Action Decide(bool targetExists, uint64_t oldVersion, uint64_t newVersion,
              const std::string& targetPath, bool askBeforeReplace);

// What the user answered to "Query Replace File".
enum class Answer
{
    Yes,
    YesToAll,
    No,
    Cancel
};

// The answer a closed question dialog gave: its end code (1 OK, 2 Cancel, -1 when
// it could not be shown) and its two flags. No ends with the same code as Cancel;
// the flag tells them apart. A question that was not shown counts as No.
Answer AnswerFor(long long endCode, bool yesToAll, bool no);

// The one runtime DLL that is replaced whenever its version differs. Only these two
// spellings count; the search is case-sensitive on purpose.
bool IsAlwaysReplaced(const std::string& targetPath);

// "major.minor.build.revision", or `noVersionText` for version 0.
std::string VersionText(uint64_t version, const std::string& noVersionText);

// A Windows file time shown as UTC, day first: "dd/mm/yyyy hh:mm:ss".
std::string FormatFileTime(uint64_t fileTime);

// The folder part of a path: everything before its last backslash (empty without one).
std::string FolderOf(const std::string& path);

// "<folder>\$tmp<n>.tmp" with at least four digits.
std::string TempFileName(const std::string& folder, unsigned number);

// `name` in upper case when it is already one valid 8.3 name ("SCROLL95.EXE"), the form
// a boot-time rename on the 9x family needs; empty otherwise.
std::string AsShortName(const std::string& name);

// `path` with each run of backslashes made one (a share's leading two kept): the boot-time
// rename of the 9x family reads one name between each pair, and a folder typed with a
// trailing backslash doubles one.
std::string SingleSeparators(const std::string& path);

// `folder` with exactly one trailing backslash added when it has none.
std::string WithTrailingBackslash(const std::string& folder);
} // namespace ReplaceRules
