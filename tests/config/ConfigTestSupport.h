// What the configuration tests share beyond the common support: the stand-in control
// modules built beside them.
#pragma once

#include "ProgressRecorder.h"
#include "TestApp.h"
#include "TestFiles.h"
#include "TestRegistry.h"

#include <string>

namespace ConfigTest
{
using TestSupport::ControlText;
using TestSupport::CTestApp;
using namespace TestFiles;
using namespace TestRegistry;

// Path of a stand-in control module ("reg_ok.dll", ...) in the folder next to the tests'.
inline std::string ModulePath(const std::string& file)
{
    return ExeFolder() + "\\..\\modules\\" + file;
}
} // namespace ConfigTest
