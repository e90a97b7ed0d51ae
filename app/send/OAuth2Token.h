#pragma once
// corvane-send's OAuth2 access token when no --token-command gives one. With --oauth2-device it
// comes from the device flow: the user is shown a web address and a code, signs in on any
// device, and the refresh token that comes with the access token is kept in the keyring, where
// a later send (and the window) finds it. Otherwise it comes from the refresh token kept there
// for the same user, host and port, by the window or by an earlier --oauth2-device.
//
// The provider, its endpoints and the client are account::ServerOAuth2's for the host, with the
// settings the window keeps for the server (its own client ID and tenant), read without ever
// making a settings store. Runs on an event loop of its own, bounded by the flows' own limits
// and the keyring's; Ctrl+C (Interrupted, set by the signal handler) ends it within a moment.
// The tokens appear in no text.

#include <atomic>
#include <iosfwd>
#include <optional>
#include <string>

#include "app/send/SendOptions.h"

namespace corvane::send {

struct TOAuth2Token {
    std::optional<std::string> Token;  // the access token; its taker wipes it
    int Exit = 0;                      // an EExitStatus, when there is no token
    std::string Problem;               // why there is none, in words; empty when cancelled
};

// For Options with --auth oauth2 and no --token-command. The code to sign in with goes to
// Status; the progress to it too, unless --quiet.
TOAuth2Token FetchOAuth2Token(const TSendOptions& options, std::ostream& status, const std::atomic<bool>& interrupted);

}  // namespace corvane::send
