#pragma once
// The key below HKEY_CURRENT_USER under which Corvane keeps its settings: the window's
// controls (regctrls/MyReg.h) and the account's server settings (account/ServerSettings.h)
// both start from it. Stored settings are found by this path, so it never changes.

#include <string_view>

namespace corvane::registry {

inline constexpr std::string_view ProgramKeyPath = "\\Software\\Halden Software\\Corvane";

}  // namespace corvane::registry
