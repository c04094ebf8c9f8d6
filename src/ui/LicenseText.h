// The part of an agreement resource that the licence dialog shows.
#pragma once

#include <cstddef>
#include <string>

namespace LicenseText
{
// The marker that ends the shown text; what follows it is a note for editors.
extern const char* const kEndMarker;

// The bytes of `data` before the first end marker, never reading past `size`
// (resources carry no terminating zero). Without a marker the whole text is shown.
std::string VisiblePart(const char* data, std::size_t size);
} // namespace LicenseText
