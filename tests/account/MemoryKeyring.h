#pragma once
// A keyring in memory for tests of the window and of the password book: entries by key, a
// switch for "no keyring on this desktop", and a count of the requests it was asked.

#include <map>
#include <string>

#include "account/Keyring.h"

namespace corvane::test {

class TMemoryKeyring final : public account::TKeyring {
public:
    std::map<std::string, std::string> Entries;
    bool Available = true;
    int Requests = 0;

    account::TKeyringAnswer Read(const std::string& key) override {
        if (!Answerable()) {
            return Refusal();
        }
        const auto entry = Entries.find(key);
        return entry == Entries.end() ? account::TKeyringAnswer{account::EKeyringStatus::NotFound, {}, {}}
                                      : account::TKeyringAnswer{account::EKeyringStatus::Done, entry->second, {}};
    }
    account::TKeyringAnswer Write(const std::string& key, const std::string& password) override {
        if (!Answerable()) {
            return Refusal();
        }
        Entries[key] = password;
        return {account::EKeyringStatus::Done, {}, {}};
    }
    account::TKeyringAnswer Remove(const std::string& key) override {
        if (!Answerable()) {
            return Refusal();
        }
        return {Entries.erase(key) != 0 ? account::EKeyringStatus::Done : account::EKeyringStatus::NotFound, {}, {}};
    }

private:
    bool Answerable() {
        ++Requests;
        return Available;
    }
    static account::TKeyringAnswer Refusal() {
        return {account::EKeyringStatus::Unavailable, {}, "no Secret Service on the session bus"};
    }
};

}  // namespace corvane::test
