// The temporary files the file installation has made and not yet placed, recorded in
// the product's registry key before each is created, so that a run cut short (a crash,
// a power cut) leaves nothing behind that the next run cannot find and remove.
#pragma once

#include <string>
#include <vector>

namespace TempFileRecord
{
// Recording is best effort: a record that cannot be written only means that a file
// left by a crash of this very run is not found again.
void Add(const std::string& path);
void Remove(const std::string& path);

// The files recorded and not removed, by earlier runs or this one.
std::vector<std::string> Paths();
} // namespace TempFileRecord
