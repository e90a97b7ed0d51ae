#pragma once
// An access token good for sending as one account: the token book's while it has more than
// TTokenBook::Margin to live, otherwise a new one from the book's refresh token (TOAuth2Refresh),
// which the book then keeps. SignInAgain when the book has no refresh token or the provider no
// longer takes it; the book forgets it then, and the user signs in in the browser anew.
//
// Runs on the thread that owns it and the book; OnDone is called once, from the event loop,
// never from inside Start or Cancel. A Granted outcome's Tokens hold the access token; the
// refresh token stays with the book.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "account/OAuth2Refresh.h"
#include "account/TokenBook.h"

namespace corvane::account {

class TFreshAccessToken {
public:
    using TOnDone = std::function<void(TFreshAccessToken& sender, const TOAuth2Outcome& outcome)>;

    explicit TFreshAccessToken(TTokenBook& book, TOAuth2Options options = TOAuth2Refresh::DefaultOptions());
    ~TFreshAccessToken();
    TFreshAccessToken(const TFreshAccessToken&) = delete;
    TFreshAccessToken& operator=(const TFreshAccessToken&) = delete;

    // The access token for Key (PasswordKey's), refreshed through Grant when it has run out.
    void Start(const std::string& key, const TOAuth2Grant& grant);
    void Cancel();
    bool Running() const { return m_running; }

    TOnDone OnDone;

private:
    void OnRefreshed(const TOAuth2Outcome& outcome);
    void Report(TOAuth2Outcome outcome);

    TTokenBook& m_book;
    TOAuth2Refresh m_refresh;
    std::string m_key;
    bool m_running = false;
    std::uint64_t m_run = 0;
    std::shared_ptr<int> m_alive = std::make_shared<int>();  // CallLater's guard
};

}  // namespace corvane::account
