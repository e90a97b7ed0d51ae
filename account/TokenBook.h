#pragma once
// TTokenBook: the OAuth2 tokens of the running program, by account (the key of PasswordKey in
// Keyring.h). The refresh token, which lasts, lives in the keyring beside the passwords, under
// RefreshTokenKey, never in the settings store; when the keyring is unavailable, in memory until
// the program ends. The access token, which lasts an hour or so, lives in memory only, with the
// time it runs out. Everything held is wiped when it is replaced, forgotten or the book goes.
//
// As TPasswordBook does, the book stops asking a keyring that proved unavailable and has a
// notice for the status bar, handed out once. Qt-free; used by one thread only.

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "account/Keyring.h"
#include "account/OAuth2Tokens.h"

namespace corvane::account {

// The keyring entry of the refresh token for the account of PasswordKey: the same key with a
// prefix, so it never meets the account's password.
std::string RefreshTokenKey(std::string_view passwordKey);

class TTokenBook {
public:
    using TClock = std::chrono::system_clock;
    // An access token with less than this to live counts as run out: sending takes a while.
    static constexpr std::chrono::seconds Margin{60};

    explicit TTokenBook(std::unique_ptr<TKeyring> keyring);
    ~TTokenBook();
    TTokenBook(const TTokenBook&) = delete;
    TTokenBook& operator=(const TTokenBook&) = delete;

    // Tests put a keyring of their own in place of the desktop's.
    void SetKeyring(std::unique_ptr<TKeyring> keyring);

    // The access token for Key while it has more than Margin to live at Now; else nothing.
    std::optional<std::string> AccessToken(const std::string& key, TClock::time_point now = TClock::now()) const;
    // The refresh token for Key: memory, then the keyring.
    std::optional<std::string> RefreshToken(const std::string& key);
    // What a sign-in or a refresh gave: the access token into memory, a refresh token into the
    // keyring (memory when it is unavailable). Tokens without a refresh token keep the old one.
    void Keep(const std::string& key, const TOAuth2Tokens& tokens);
    // The server refused Key's access token: it is forgotten, so the next use refreshes it.
    void Refused(const std::string& key) { ForgetAccess(key); }
    // Forgets both tokens for Key, in memory and in the keyring: the provider no longer takes
    // them (invalid_grant), or the user signs out.
    void Forget(const std::string& key);

    bool KeyringAvailable() const { return m_keyringProblem.empty(); }
    // The status bar's words, the first time they are asked for after the keyring proved
    // unavailable; empty otherwise.
    std::string TakeNotice();

private:
    struct TAccess {
        std::string Token;
        TClock::time_point ExpiresAt;
    };
    void NoteAnswer(const TKeyringAnswer& answer);
    void ForgetAccess(const std::string& key);
    void ForgetRefreshInMemory(const std::string& key);

    std::unique_ptr<TKeyring> m_keyring;
    std::map<std::string, TAccess> m_access;
    std::map<std::string, std::string> m_refreshInMemory;
    std::string m_keyringProblem;
    bool m_noticeGiven = false;
};

}  // namespace corvane::account
