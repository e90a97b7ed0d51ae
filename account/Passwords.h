#pragma once
// TPasswordBook: the passwords of the running window. A password lives in the keyring when
// the user asked to remember it and the keyring took it; otherwise (no keyring, or
// "Remember password" off) in memory until the program ends, wiped when the book goes. A
// password the server refused (535) is not offered again in this run until the user types
// one: the keyring keeps the old one until then, because a 535 also comes for reasons the
// password is not to blame for (a wrong user name, an account locked for a while), and
// throwing away the only copy the user may have would not help in those cases.
//
// The first time the keyring proves unavailable, the book stops asking it for the rest of
// the run (each try could wait for the keyring's time limit) and has a notice for the status
// bar, handed out once. Qt-free; used by the window's thread only.

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "account/Keyring.h"

namespace corvane::account {

class TPasswordBook {
public:
    explicit TPasswordBook(std::unique_ptr<TKeyring> keyring);
    ~TPasswordBook();
    TPasswordBook(const TPasswordBook&) = delete;
    TPasswordBook& operator=(const TPasswordBook&) = delete;

    // Tests put a keyring of their own in place of the desktop's.
    void SetKeyring(std::unique_ptr<TKeyring> keyring);

    // The password to try for Key (see PasswordKey), or nothing when the user must be asked.
    std::optional<std::string> Find(const std::string& key);
    // A password the user typed: into the keyring when Remember is set and the keyring takes
    // it, else into memory. Remember off also removes what the keyring held for Key.
    void Keep(const std::string& key, const std::string& password, bool remember);
    // Removes what the keyring and memory hold for Key ("Remember password" turned off).
    void Forget(const std::string& key);
    // The server refused the password for Key.
    void Refused(const std::string& key);

    bool KeyringAvailable() const { return m_keyringProblem.empty(); }
    // The status bar's words, the first time they are asked for after the keyring proved
    // unavailable; empty otherwise.
    std::string TakeNotice();

private:
    void NoteAnswer(const TKeyringAnswer& answer);
    void ForgetInMemory(const std::string& key);

    std::unique_ptr<TKeyring> m_keyring;
    std::map<std::string, std::string> m_inMemory;
    std::set<std::string> m_refused;
    std::string m_keyringProblem;
    bool m_noticeGiven = false;
};

// Overwrites the text's bytes before it is released, so a password does not linger in freed
// memory.
void Wipe(std::string& secret);

}  // namespace corvane::account
