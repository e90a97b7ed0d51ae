#pragma once
// Where corvane-send connects and with which password: the server of --server with the port
// --security implies when none is typed, and the password of --user, from the first line of
// --password-file or else from the keyring entry the window keeps for the same user, host
// and port. A password file its group or others may read is refused, as ssh refuses such a
// key file. A problem is said in words that name what is missing or wrong; the password
// itself never appears in them.

#include <functional>
#include <optional>
#include <string>

#include "account/Keyring.h"
#include "app/send/SendOptions.h"
#include "mail/MailText.h"

namespace corvane::send {

mail::TServerAddress ServerOf(const TSendOptions& options);

struct TPasswordLookup {
    std::optional<std::string> Password;
    std::string Problem;  // when there is no password
};

using TKeyringReader = std::function<account::TKeyringAnswer(const std::string& key)>;

// Only for options with a User. ReadKeyring is asked only when no password file is given.
TPasswordLookup FindPassword(const TSendOptions& options, const TKeyringReader& readKeyring);

}  // namespace corvane::send
