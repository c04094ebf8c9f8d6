// The setup's message convention: a string-table text with %1.. filled in, shown in
// a message box owned by the current main window (OK and the exclamation icon unless
// the caller names other buttons).
#pragma once

#include <windows.h>
#include <string>
#include <vector>

namespace Messages
{
const UINT kDefaultType = MB_OK | MB_ICONEXCLAMATION;

// The string with that id, or the empty text when the table has none.
std::string LoadText(UINT id);

// The string with that id with its placeholders filled.
std::string Format(UINT id, const std::vector<std::string>& args = {});

// Shows string `id` filled with `args`; returns the button pressed.
int Show(UINT id, const std::vector<std::string>& args = {}, UINT type = kDefaultType);

// Shows a ready text.
int ShowText(const std::string& text, UINT type = kDefaultType);

// Tells the user that memory ran out, with the system's text; allocates nothing, so
// that it works when nothing can be allocated any more.
void ShowOutOfMemory() noexcept;

// Shows string `id` owned by `owner`: a dialog's own question is modal to that dialog,
// so nothing behind the question can be pressed while it is up.
int ShowOwned(HWND owner, UINT id, const std::vector<std::string>& args, UINT type);
} // namespace Messages
