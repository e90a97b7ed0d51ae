#include "app/send/StoredSettings.h"

#include <filesystem>
#include <system_error>

#include "platform/registry/SqliteStore.h"

namespace corvane::send {

account::TServerSettings StoredSettings(const std::string& server) {
    const std::filesystem::path store = registry::TSqliteStore::DefaultFile();
    std::error_code error;
    if (store.empty() || !std::filesystem::exists(store, error)) {
        return {};
    }
    return account::LoadServerSettings(server);
}

}  // namespace corvane::send
