#pragma once
// The vocabulary shared by the registry accessor and its backends: the hives, the value
// types with their Windows numbers, and a value as raw bytes.

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::registry {

// The hives a program may select. HKEY_PERFORMANCE_DATA is not offered.
enum class ERootKey { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// "HKEY_CURRENT_USER" and so on: the name of the hive's root key in the store.
std::string_view RootKeyName(ERootKey root);

// Value types, numbered as Windows numbers them. Data written by another program may carry
// any other number; it is kept and reported as it is.
enum class ERegDataType : std::uint32_t {
    None = 0,
    String = 1,        // REG_SZ: the text's bytes and one NUL byte
    ExpandString = 2,  // REG_EXPAND_SZ: as REG_SZ; read back unexpanded
    Binary = 3,        // REG_BINARY
    DWord = 4,         // REG_DWORD: 4 bytes, little-endian
};

struct TRegDataInfo {
    ERegDataType Type = ERegDataType::None;
    std::uint32_t Size = 0;  // bytes of data
};

// A value exactly as stored: its type and its bytes.
struct TRegValue {
    ERegDataType Type = ERegDataType::None;
    std::string Data;
};

}  // namespace corvane::registry
