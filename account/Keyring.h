#pragma once
// Passwords in the desktop's keyring: the Secret Service (GNOME Keyring, KeePassXC) or
// KWallet, through QtKeychain. It is the only place where Corvane keeps a password beyond
// the running program. Each password is one entry of the service "Corvane" under the key
// "user@host:port" (an IPv6 host in brackets), so the window and corvane-send find the
// same entry.
//
// TKeyring is the interface the window and corvane-send talk to, so that tests can put a
// keyring of their own in its place. TSecretServiceKeyring runs each request as one
// QtKeychain job to its end in a local event loop bounded by Limit: it works whether or not
// an application loop is running, but needs a QCoreApplication and must be called on its
// thread. Anything but an answer (no Secret Service on the session bus, a locked keyring
// whose prompt was refused, no answer in time) is "unavailable" with the reason in words;
// a password never appears in a reason. This header includes no Qt header.

#include <chrono>
#include <string>
#include <string_view>

namespace corvane::account {

inline constexpr const char* KeyringService = "Corvane";

std::string PasswordKey(std::string_view user, std::string_view host, std::string_view port);

enum class EKeyringStatus { Done, NotFound, Unavailable };

struct TKeyringAnswer {
    EKeyringStatus Status = EKeyringStatus::Unavailable;
    std::string Password;  // what a read found
    std::string Problem;   // why the keyring is unavailable
};

class TKeyring {
public:
    virtual ~TKeyring() = default;
    virtual TKeyringAnswer Read(const std::string& key) = 0;
    // Replaces the entry, or makes it.
    virtual TKeyringAnswer Write(const std::string& key, const std::string& password) = 0;
    // NotFound when there was no such entry.
    virtual TKeyringAnswer Remove(const std::string& key) = 0;
};

class TSecretServiceKeyring final : public TKeyring {
public:
    // A keyring that asks the user to unlock it waits for the answer; ten seconds is
    // long enough for a prompt typed at once and short enough that a send never seems hung.
    static constexpr std::chrono::milliseconds DefaultLimit{std::chrono::seconds(10)};

    explicit TSecretServiceKeyring(std::chrono::milliseconds limit = DefaultLimit) : m_limit(limit) {}

    TKeyringAnswer Read(const std::string& key) override;
    TKeyringAnswer Write(const std::string& key, const std::string& password) override;
    TKeyringAnswer Remove(const std::string& key) override;

private:
    std::chrono::milliseconds m_limit;
};

}  // namespace corvane::account
