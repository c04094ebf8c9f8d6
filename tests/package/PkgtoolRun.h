#pragma once

// Runs the pkgtool under test as a separate process, as a vendor would.

#include <string>
#include <vector>

#include "TestSupport.h"

namespace TestSupport
{

struct ToolResult
{
    int exitCode;
    std::string output; // standard output and standard error together
};

// Runs pkgtool with `args`; its output passes through a file in `dir`.
ToolResult RunPkgtool(const ScratchDir& dir, const std::vector<std::string>& args);

// Fails the test for any file below `root` that pkgtool left under a temporary name.
bool NoTemporaryFilesBelow(const fs::path& root);

} // namespace TestSupport
