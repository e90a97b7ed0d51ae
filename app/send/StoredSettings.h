#pragma once
// The settings Corvane's window keeps for a server, read by corvane-send without ever making a
// settings store: a user who never started the window has none, and a send must not leave an
// empty one behind.

#include <string>

#include "account/ServerSettings.h"

namespace corvane::send {

// The window's settings for Server (as typed into its Smtp field); the defaults when there is
// no store or nothing kept for it.
account::TServerSettings StoredSettings(const std::string& server);

}  // namespace corvane::send
