#pragma once
// A keyring in memory for tests of the window and of the password book: entries by key, a
// switch for "no keyring on this desktop", and a count of the requests it was asked.

#include <map>
#include <string>

#include "app/Keyring.h"

namespace corvane::test {

class TMemoryKeyring final : public app::TKeyring {
public:
    std::map<std::string, std::string> Entries;
    bool Available = true;
    int Requests = 0;

    app::TKeyringAnswer Read(const std::string& key) override {
        if (!Answerable()) {
            return Refusal();
        }
        const auto entry = Entries.find(key);
        return entry == Entries.end() ? app::TKeyringAnswer{app::EKeyringStatus::NotFound, {}, {}}
                                      : app::TKeyringAnswer{app::EKeyringStatus::Done, entry->second, {}};
    }
    app::TKeyringAnswer Write(const std::string& key, const std::string& password) override {
        if (!Answerable()) {
            return Refusal();
        }
        Entries[key] = password;
        return {app::EKeyringStatus::Done, {}, {}};
    }
    app::TKeyringAnswer Remove(const std::string& key) override {
        if (!Answerable()) {
            return Refusal();
        }
        return {Entries.erase(key) != 0 ? app::EKeyringStatus::Done : app::EKeyringStatus::NotFound, {}, {}};
    }

private:
    bool Answerable() {
        ++Requests;
        return Available;
    }
    static app::TKeyringAnswer Refusal() {
        return {app::EKeyringStatus::Unavailable, {}, "no Secret Service on the session bus"};
    }
};

}  // namespace corvane::test
