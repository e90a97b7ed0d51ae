#include "account/Passwords.h"

#include <cstring>

namespace corvane::account {

void Wipe(std::string& secret) {
    // explicit_bzero is never optimised away, unlike a plain fill of memory about to be freed.
    explicit_bzero(secret.data(), secret.size());
    secret.clear();
}

TPasswordBook::TPasswordBook(std::unique_ptr<TKeyring> keyring) : m_keyring(std::move(keyring)) {}

TPasswordBook::~TPasswordBook() {
    for (auto& [key, password] : m_inMemory) {
        Wipe(password);
    }
}

void TPasswordBook::SetKeyring(std::unique_ptr<TKeyring> keyring) {
    m_keyring = std::move(keyring);
    m_keyringProblem.clear();
    m_noticeGiven = false;
}

std::optional<std::string> TPasswordBook::Find(const std::string& key) {
    if (m_refused.count(key) != 0) {
        return std::nullopt;
    }
    if (const auto kept = m_inMemory.find(key); kept != m_inMemory.end()) {
        return kept->second;
    }
    if (!KeyringAvailable()) {
        return std::nullopt;
    }
    TKeyringAnswer answer = m_keyring->Read(key);
    NoteAnswer(answer);
    if (answer.Status != EKeyringStatus::Done) {
        return std::nullopt;
    }
    return std::move(answer.Password);
}

void TPasswordBook::Keep(const std::string& key, const std::string& password, bool remember) {
    m_refused.erase(key);
    ForgetInMemory(key);
    if (KeyringAvailable()) {
        const TKeyringAnswer answer = remember ? m_keyring->Write(key, password) : m_keyring->Remove(key);
        NoteAnswer(answer);
        if (remember && answer.Status == EKeyringStatus::Done) {
            return;
        }
    }
    m_inMemory[key] = password;
}

void TPasswordBook::Forget(const std::string& key) {
    ForgetInMemory(key);
    if (KeyringAvailable()) {
        NoteAnswer(m_keyring->Remove(key));
    }
}

void TPasswordBook::Refused(const std::string& key) {
    m_refused.insert(key);
    ForgetInMemory(key);
}

std::string TPasswordBook::TakeNotice() {
    if (KeyringAvailable() || m_noticeGiven) {
        return {};
    }
    m_noticeGiven = true;
    return "Passwords are not remembered (no keyring: " + m_keyringProblem +
           "); Corvane keeps them until it ends.";
}

void TPasswordBook::NoteAnswer(const TKeyringAnswer& answer) {
    if (answer.Status == EKeyringStatus::Unavailable && m_keyringProblem.empty()) {
        m_keyringProblem = answer.Problem.empty() ? std::string("no answer") : answer.Problem;
    }
}

void TPasswordBook::ForgetInMemory(const std::string& key) {
    if (const auto kept = m_inMemory.find(key); kept != m_inMemory.end()) {
        Wipe(kept->second);
        m_inMemory.erase(kept);
    }
}

}  // namespace corvane::account
