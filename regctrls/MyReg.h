#pragma once
// TMyReg, the settings store of the window: named settings, each a value in a section key
// below RegPath in the hive RegRootKey, written as REG_SZ (text) or REG_DWORD (integers and
// booleans, 1 or 0).
//
// Every operation is complete in itself: it makes a registry accessor, selects the hive,
// gives RegPath its trailing backslash (a lasting change; an empty RegPath stays empty),
// opens RegPath + Section (no separator added) with creation when CanCreate is set, so that
// even a read makes a missing section key, acts on the value, and closes the key again.
// Nothing is cached. Nothing is ever reported: a read that fails for any reason gives its
// Default, a write that fails stores nothing, and no operation throws. In a store the user
// cannot write no key opens (full access is asked for), so reads give their defaults there.
// Only one thread uses an instance.
//
// Also here: the registry conventions the registry-backed controls share with TMyReg.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry/ProgramKey.h"
#include "platform/registry/Registry.h"

namespace corvane::regctrls {

// The hive of a TMyReg, by ordinal. Any other ordinal selects HKEY_CURRENT_USER.
enum HKeys : int {
    kHKEY_CLASSES_ROOT = 0,
    kHKEY_CURRENT_USER = 1,
    kHKEY_LOCAL_MACHINE = 2,
    kHKEY_USERS = 3,
    kHKEY_CURRENT_CONFIG = 4,
};

registry::ERootKey HiveOf(HKeys key);

inline constexpr std::string_view DefaultRegPath = registry::ProgramKeyPath;

class TMyReg {
public:
    // Key path below the hive, written with a leading backslash.
    std::string RegPath{DefaultRegPath};
    HKeys RegRootKey = kHKEY_CURRENT_USER;
    // Open keys with creation, so that a missing key is made.
    bool CanCreate = true;

    // REG_SZ (REG_EXPAND_SZ unexpanded): the text up to its first NUL; a stored empty text
    // reads as the empty text. A value of another type reads as the empty text.
    std::string ReadString(std::string_view section, std::string_view name,
                           std::string_view defaultValue) noexcept;
    // A REG_DWORD of 4 bytes; Default for anything else.
    std::int32_t ReadInteger(std::string_view section, std::string_view name,
                             std::int32_t defaultValue) noexcept;
    // As ReadInteger; any non-zero DWORD is true.
    bool ReadBool(std::string_view section, std::string_view name, bool defaultValue) noexcept;

    void WriteString(std::string_view section, std::string_view name,
                     std::string_view value) noexcept;
    void WriteInteger(std::string_view section, std::string_view name, std::int32_t value) noexcept;
    void WriteBool(std::string_view section, std::string_view name, bool value) noexcept;

private:
    template <class TResult, class TAccess>
    TResult Transact(std::string_view section, TResult fallback, TAccess&& access) noexcept;
};

// The conventions of the registry-backed controls, as far as they are not the accessor's
// own (opening, deleting depth first: see TRegistry):

// A control's key: "\Software" followed directly by its key property, which begins with a
// backslash itself ("\Halden Software\Corvane\SendTo"); no separator is inserted.
std::string ControlKeyPath(std::string_view key);

// A text value as the controls read it: as TMyReg::ReadString does, with the empty text in
// place of a default, so a missing value (or no open key) reads as the empty text.
std::string ReadText(const registry::TRegistry& registry, std::string_view name);

}  // namespace corvane::regctrls
