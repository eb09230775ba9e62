#pragma once
// The clipboard through the hook the UI layer installs (Utils::SetClipboardSetter).

#include <string>

namespace ZEL::Utils {

// Puts the text on the clipboard; false when there is no clipboard hook. Any thread.
bool CopyToClipboard(const std::string& AText);

}  // namespace ZEL::Utils
