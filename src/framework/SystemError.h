// The system's own text for an error code, as the setup's messages show it.
#pragma once

#include <windows.h>

#include <string>

namespace SystemError
{
// FormatMessageA's text for `code`, trailing line break included; "Error <code>." when
// the system has none, so that a failure never reads without its reason.
std::string Text(DWORD code);

// The text of the calling thread's last error. Ask at once after the failing call:
// anything in between may change the code.
std::string LastErrorText();

// The text for a failed COM call: the thread's last error when one is set, else the
// HRESULT's own, so that a failure never reads as success.
std::string ComErrorText(HRESULT hr);
} // namespace SystemError
