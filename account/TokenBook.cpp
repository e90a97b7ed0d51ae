#include "account/TokenBook.h"

#include "account/Passwords.h"

namespace corvane::account {

std::string RefreshTokenKey(std::string_view passwordKey) {
    return "oauth2-refresh:" + std::string(passwordKey);
}

TTokenBook::TTokenBook(std::unique_ptr<TKeyring> keyring) : m_keyring(std::move(keyring)) {}

void TTokenBook::SetKeyring(std::unique_ptr<TKeyring> keyring) {
    m_keyring = std::move(keyring);
    m_keyringProblem.clear();
    m_noticeGiven = false;
}

TTokenBook::~TTokenBook() {
    for (auto& [key, access] : m_access) {
        Wipe(access.Token);
    }
    for (auto& [key, token] : m_refreshInMemory) {
        Wipe(token);
    }
}

std::optional<std::string> TTokenBook::AccessToken(const std::string& key, TClock::time_point now) const {
    const auto held = m_access.find(key);
    if (held == m_access.end() || held->second.ExpiresAt - Margin <= now) {
        return std::nullopt;
    }
    return held->second.Token;
}

std::optional<std::string> TTokenBook::RefreshToken(const std::string& key) {
    if (const auto held = m_refreshInMemory.find(key); held != m_refreshInMemory.end()) {
        return held->second;
    }
    if (!KeyringAvailable()) {
        return std::nullopt;
    }
    TKeyringAnswer answer = m_keyring->Read(RefreshTokenKey(key));
    NoteAnswer(answer);
    if (answer.Status != EKeyringStatus::Done || answer.Password.empty()) {
        return std::nullopt;
    }
    return std::move(answer.Password);
}

void TTokenBook::Keep(const std::string& key, const TOAuth2Tokens& tokens) {
    ForgetAccess(key);
    if (!tokens.AccessToken.empty()) {
        m_access[key] = {tokens.AccessToken, tokens.ExpiresAt};
    }
    if (tokens.RefreshToken.empty()) {
        return;
    }
    ForgetRefreshInMemory(key);
    if (KeyringAvailable()) {
        const TKeyringAnswer answer = m_keyring->Write(RefreshTokenKey(key), tokens.RefreshToken);
        NoteAnswer(answer);
        if (answer.Status == EKeyringStatus::Done) {
            return;
        }
    }
    m_refreshInMemory[key] = tokens.RefreshToken;
}

void TTokenBook::Forget(const std::string& key) {
    ForgetAccess(key);
    ForgetRefreshInMemory(key);
    if (KeyringAvailable()) {
        NoteAnswer(m_keyring->Remove(RefreshTokenKey(key)));
    }
}

std::string TTokenBook::TakeNotice() {
    if (KeyringAvailable() || m_noticeGiven) {
        return {};
    }
    m_noticeGiven = true;
    return "Sign-ins are not remembered (no keyring: " + m_keyringProblem +
           "); Corvane keeps them until it ends.";
}

void TTokenBook::NoteAnswer(const TKeyringAnswer& answer) {
    if (answer.Status == EKeyringStatus::Unavailable && m_keyringProblem.empty()) {
        m_keyringProblem = answer.Problem.empty() ? std::string("no answer") : answer.Problem;
    }
}

void TTokenBook::ForgetAccess(const std::string& key) {
    if (const auto held = m_access.find(key); held != m_access.end()) {
        Wipe(held->second.Token);
        m_access.erase(held);
    }
}

void TTokenBook::ForgetRefreshInMemory(const std::string& key) {
    if (const auto held = m_refreshInMemory.find(key); held != m_refreshInMemory.end()) {
        Wipe(held->second);
        m_refreshInMemory.erase(held);
    }
}

}  // namespace corvane::account
