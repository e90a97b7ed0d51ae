#pragma once
// What the OAuth2 sign-ins and refreshing share: what is asked for (the provider's endpoints,
// this build's client, the scopes), the tokens that come back, how a try ended, and reading a
// token endpoint's answer (RFC 6749, section 5). A token never appears in a Problem or any
// other text meant for the user, nor in a log; TOAuth2Tokens wipes its copies when it goes.

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "account/ProviderTable.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace corvane::account {

// What a sign-in or a refresh asks for and where. GrantFor fills it from the provider table
// and this build's client; tests point the URLs at a server on loopback.
struct TOAuth2Grant {
    std::string AuthorizationUrl;
    std::string TokenUrl;
    std::string DeviceAuthorizationUrl;  // empty: no sign-in without a browser
    std::string ClientId;
    std::string ClientSecret;  // usually empty (OAuth2Client.h)
    std::vector<std::string> Scopes;
    std::string LoginHint;  // the address, which the provider's page then proposes
};

// For signing in as Address at Provider (whose OAuth2 must be set), in Tenant (empty: the
// provider's default), with this build's client.
TOAuth2Grant GrantFor(const TProvider& provider, std::string_view address, std::string_view tenant = {});

struct TOAuth2Tokens {
    std::string AccessToken;
    std::string RefreshToken;  // empty when the answer held none (a refresh keeps the old one)
    std::chrono::system_clock::time_point ExpiresAt;

    TOAuth2Tokens() = default;
    TOAuth2Tokens(const TOAuth2Tokens& other) = default;
    TOAuth2Tokens(TOAuth2Tokens&& other) noexcept;
    TOAuth2Tokens& operator=(const TOAuth2Tokens& other);
    TOAuth2Tokens& operator=(TOAuth2Tokens&& other) noexcept;
    ~TOAuth2Tokens();
};

// An access token whose answer says nothing of its life is taken to last this long, what
// Google's and Microsoft's do.
inline constexpr std::chrono::seconds AssumedTokenLife{3600};

enum class EOAuth2End {
    Granted,      // Tokens holds what came
    SignInAgain,  // the provider no longer takes the grant (invalid_grant): the user signs in anew
    Refused,      // the user or the provider said no (access_denied, an answer with a wrong state)
    Expired,      // the device code ran out before the user signed in
    TimedOut,     // the try's own time ran out
    Failed,       // anything else: no connection, an answer that is no OAuth2, an endpoint not allowed
};

struct TOAuth2Outcome {
    EOAuth2End End = EOAuth2End::Failed;
    TOAuth2Tokens Tokens;  // when Granted
    std::string Problem;   // in words, safe to show, when not Granted
};

struct TOAuth2Options {
    std::chrono::milliseconds Deadline{std::chrono::minutes(5)};  // the whole try
    // Each request, counted from the last byte that moved (QNetworkRequest::setTransferTimeout).
    std::chrono::milliseconds RequestTimeout{std::chrono::seconds(30)};
    // For tests only: endpoints on http://127.0.0.1 or http://[::1] are allowed too (and no
    // proxy is asked). Otherwise every endpoint must be https.
    bool AllowLoopbackHttp = false;
};

// Empty when Url may be asked under Options; otherwise why not, in words.
std::string EndpointProblem(const std::string& url, const TOAuth2Options& options);

// A token endpoint's answer read: Granted with the tokens, or how it failed. Error is the
// OAuth2 error code the answer named ("authorization_pending", "slow_down", ...), empty when
// none: the device sign-in goes on for some of them.
struct TTokenAnswer {
    TOAuth2Outcome Outcome;
    std::string Error;
};
TTokenAnswer ReadTokenAnswer(int httpStatus, std::string_view body);

// Posts Fields form-encoded to Url on Network, bounded by Options.RequestTimeout; the reply
// belongs to the caller.
QNetworkReply* PostForm(QNetworkAccessManager& network, const std::string& url,
                        const std::vector<std::pair<std::string, std::string>>& fields, const TOAuth2Options& options);

// How a reply to PostForm ended, read and wiped: its body may hold tokens.
TTokenAnswer ReadTokenReply(QNetworkReply& reply);

// "no answer within 5 minutes", for the Problem of a try whose time ran out.
std::string WithinWords(std::chrono::milliseconds limit);

}  // namespace corvane::account
