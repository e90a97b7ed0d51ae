#pragma once
// The messages of signing in with an OAuth 2.0 access token: the client's first response
// for XOAUTH2 (Google's mechanism, which most providers took over) and for OAUTHBEARER
// (RFC 7628), and what a server's error challenge says when it refuses the token. Pure, no
// I/O.
//
// A response holds the token: each is built in one buffer reserved to its final size, so
// that no reallocation leaves a copy behind, and the caller wipes it after use.

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane::mail {

// "user=" User ^A "auth=Bearer " Token ^A ^A.
std::string XOAuth2Response(std::string_view user, std::string_view token);

// RFC 7628 section 3.1: the GS2 header "n,a=" User "," with the user's ',' and '=' written
// as "=2C" and "=3D" (RFC 5801), then host, port and the token, each ended by ^A, then ^A.
std::string OAuthBearerResponse(std::string_view user, std::string_view host, int port, std::string_view token);

// The longest status OAuthErrorStatus gives; a longer one is cut.
inline constexpr std::size_t MaxOAuthStatusLength = 64;

// The "status" member of the JSON error a server sends, Base64 encoded, as the text of its
// 334 challenge when it refuses a token (RFC 7628 section 3.2.2; Google's XOAUTH2 says
// {"status":"400",...}). Empty when the text is no such error. Reads only a flat object,
// and nothing in the text can make it read past it or run long.
std::string OAuthErrorStatus(std::string_view challenge);

}  // namespace corvane::mail
