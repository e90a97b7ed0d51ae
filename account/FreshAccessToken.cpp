#include "account/FreshAccessToken.h"

#include "account/LaterCall.h"
#include "account/Passwords.h"

namespace corvane::account {

TFreshAccessToken::TFreshAccessToken(TTokenBook& book, TOAuth2Options options)
    : m_book(book), m_refresh(std::move(options)) {
    m_refresh.OnDone = [this](TOAuth2Refresh&, const TOAuth2Outcome& outcome) { OnRefreshed(outcome); };
}

TFreshAccessToken::~TFreshAccessToken() = default;

void TFreshAccessToken::Start(const std::string& key, const TOAuth2Grant& grant) {
    Cancel();
    m_running = true;
    m_key = key;
    if (std::optional<std::string> held = m_book.AccessToken(key)) {
        TOAuth2Outcome outcome{EOAuth2End::Granted, {}, {}};
        outcome.Tokens.AccessToken = std::move(*held);
        Wipe(*held);
        Report(std::move(outcome));
        return;
    }
    std::optional<std::string> refreshToken = m_book.RefreshToken(key);
    m_refresh.Start(grant, refreshToken.value_or(std::string()));
    if (refreshToken) {
        Wipe(*refreshToken);
    }
}

void TFreshAccessToken::Cancel() {
    ++m_run;
    m_running = false;
    m_refresh.Cancel();
}

void TFreshAccessToken::OnRefreshed(const TOAuth2Outcome& outcome) {
    if (outcome.End == EOAuth2End::Granted) {
        m_book.Keep(m_key, outcome.Tokens);
    } else if (outcome.End == EOAuth2End::SignInAgain) {
        m_book.Forget(m_key);
    }
    TOAuth2Outcome reported = outcome;
    Wipe(reported.Tokens.RefreshToken);
    Report(std::move(reported));
}

void TFreshAccessToken::Report(TOAuth2Outcome outcome) {
    m_running = false;
    CallLater(std::chrono::milliseconds(0), m_alive, [this, run = m_run, outcome = std::move(outcome)] {
        if (run == m_run && OnDone) {
            OnDone(*this, outcome);
        }
    });
}

}  // namespace corvane::account
