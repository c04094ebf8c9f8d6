// Filling the placeholders of string-table texts; portable, so it is tested natively.
#pragma once

#include <string>
#include <vector>

namespace MessageText
{
// Replaces every %1 .. %9 by the matching argument in one pass, so text that an
// argument brings in (a path holding "%2", say) is never substituted again.
// A placeholder without an argument becomes empty; "%%" and other text stay as they are.
// Every message's reasons come through here: the line break the system ends a reason with
// is dropped, and so is the text's full stop right after a reason that ends in its own.
std::string Fill(const std::string& text, const std::vector<std::string>& args);
} // namespace MessageText
