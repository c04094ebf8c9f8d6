#include "PkgtoolRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace TestSupport
{

namespace
{
std::string ToolPath()
{
    std::string path = KELVARIN_PKGTOOL;
#ifdef _WIN32
    // The build records the host path; Wine shows the host's root as Z:.
    if (!path.empty() && path[0] == '/')
    {
        std::replace(path.begin(), path.end(), '/', '\\');
        path = "Z:" + path;
    }
#endif
    return path;
}
} // namespace

ToolResult RunPkgtool(const ScratchDir& dir, const std::vector<std::string>& args)
{
    std::string command = "\"" + ToolPath() + "\"";
    for (const std::string& arg : args)
    {
        command += " \"" + arg + "\"";
    }
    std::string outFile = dir.File("tool-output.txt");
    command += " > \"" + outFile + "\" 2>&1";
#ifdef _WIN32
    command = "\"" + command + "\"";
#endif
    int status = std::system(command.c_str());
#ifndef _WIN32
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    std::vector<uint8_t> bytes = ReadAll(outFile);
    fs::remove(outFile);
    return {status, std::string(bytes.begin(), bytes.end())};
}

bool NoTemporaryFilesBelow(const fs::path& root)
{
    for (const auto& entry : fs::recursive_directory_iterator(root))
    {
        if (entry.path().filename().string().find(".pkgtool-") != std::string::npos)
        {
            ADD_FAILURE() << "left behind: " << entry.path().string();
            return false;
        }
    }
    return true;
}

} // namespace TestSupport
