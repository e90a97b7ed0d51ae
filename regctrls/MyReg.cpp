#include "regctrls/MyReg.h"

namespace corvane::regctrls {

registry::ERootKey HiveOf(HKeys key) {
    switch (key) {
        case kHKEY_CLASSES_ROOT:
            return registry::ERootKey::ClassesRoot;
        case kHKEY_CURRENT_USER:
            return registry::ERootKey::CurrentUser;
        case kHKEY_LOCAL_MACHINE:
            return registry::ERootKey::LocalMachine;
        case kHKEY_USERS:
            return registry::ERootKey::Users;
        case kHKEY_CURRENT_CONFIG:
            return registry::ERootKey::CurrentConfig;
    }
    return registry::ERootKey::CurrentUser;
}

std::string ControlKeyPath(std::string_view key) {
    return "\\Software" + std::string(key);
}

std::string ReadText(const registry::TRegistry& registry, std::string_view name) {
    return registry.ReadString(name).value_or(std::string());
}

// One operation: accessor, hive, trailing backslash, open (a failed open leaves no key, so
// the access fails and gives the fallback), access, close. Whatever fails is dropped.
template <class TResult, class TAccess>
TResult TMyReg::Transact(std::string_view section, TResult fallback, TAccess&& access) noexcept {
    try {
        registry::TRegistry registry(HiveOf(RegRootKey));
        if (!RegPath.empty() && RegPath.back() != '\\') {
            RegPath += '\\';
        }
        registry.OpenKey(RegPath + std::string(section), CanCreate);
        return access(registry);
    } catch (...) {
        return fallback;
    }
}

std::string TMyReg::ReadString(std::string_view section, std::string_view name,
                               std::string_view defaultValue) noexcept {
    try {
        return Transact(section, std::string(defaultValue), [&](registry::TRegistry& registry) {
            return registry.ReadString(name).value_or(std::string(defaultValue));
        });
    } catch (...) {
        return {};  // only when even the default text could not be copied
    }
}

std::int32_t TMyReg::ReadInteger(std::string_view section, std::string_view name,
                                 std::int32_t defaultValue) noexcept {
    return Transact(section, defaultValue, [&](registry::TRegistry& registry) {
        return registry.ReadInteger(name).value_or(defaultValue);
    });
}

bool TMyReg::ReadBool(std::string_view section, std::string_view name, bool defaultValue) noexcept {
    return Transact(section, defaultValue, [&](registry::TRegistry& registry) {
        const auto value = registry.ReadInteger(name);
        return value ? *value != 0 : defaultValue;
    });
}

void TMyReg::WriteString(std::string_view section, std::string_view name,
                         std::string_view value) noexcept {
    Transact(section, false,
             [&](registry::TRegistry& registry) { return registry.WriteString(name, value); });
}

void TMyReg::WriteInteger(std::string_view section, std::string_view name,
                          std::int32_t value) noexcept {
    Transact(section, false,
             [&](registry::TRegistry& registry) { return registry.WriteInteger(name, value); });
}

void TMyReg::WriteBool(std::string_view section, std::string_view name, bool value) noexcept {
    WriteInteger(section, name, value ? 1 : 0);
}

}  // namespace corvane::regctrls
