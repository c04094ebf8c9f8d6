// The [rename] section of WININIT.INI: how queued boot-time renames join what the
// file already holds.
#pragma once

#include <string>
#include <vector>

namespace WininitMerge
{
// The lines of a file's bytes as a text-mode read with a 1,024-character buffer
// sees them: the text ends at a Ctrl-Z, CR LF becomes LF, a line longer than 1,023
// characters comes out in pieces, and one trailing line feed is dropped from each.
std::vector<std::string> SplitLines(const std::string& bytes);

// Every line followed by CR LF, as a text-mode write produces it.
std::string JoinLines(const std::vector<std::string>& lines);

// Puts `renames` at the end of the first [rename] section (its name matched without
// regard to case and surrounding blanks), dropping blank lines inside that section;
// without such a section one is appended.
void Merge(std::vector<std::string>& lines, const std::vector<std::string>& renames);

// The requests of the [rename] sections in their order: "target=source", where a target of
// "NUL" deletes the source.
struct Rename
{
    std::string target;
    std::string source;
    bool deletes;
};
std::vector<Rename> Renames(const std::vector<std::string>& lines);

// The sources of the moves in the [rename] sections ("target=source"; "NUL=file"
// deletes and moves nothing).
std::vector<std::string> MoveSources(const std::vector<std::string>& lines);
// The files the [rename] sections delete ("NUL=file").
std::vector<std::string> Deletions(const std::vector<std::string>& lines);
} // namespace WininitMerge
