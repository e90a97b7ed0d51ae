#pragma once
// The server a lookup found, in corvane-send's terms: the options --find-server prints for
// a shell, and the options --server auto sends with. Qt-free.

#include <string>
#include <string_view>
#include <variant>

#include "account/ServerProposal.h"
#include "app/send/SendOptions.h"

namespace corvane::send {

// Word as one shell word: as it is when it holds only characters no shell gives a meaning
// to, otherwise in single quotes (a quote inside written '\'').
std::string ShellQuoted(std::string_view word);

// "--server smtp.example.org:465 --security tls --user me@example.org": the port always
// written, the user only when the server found takes a password and encrypts (no password
// is sent over a plain connection, and --user would refuse one). The same server and user
// --server auto sends with.
std::string ServerOptions(const account::TServerProposal& found);

// Options with the server found put in, for --server auto: its host, port and security, and
// its user name when --user was not given and the server takes a password (or a password
// file was given). Otherwise why it cannot be used: signing in was asked for but the server
// found offers no encryption.
std::variant<TSendOptions, std::string> WithFoundServer(TSendOptions options, const account::TServerProposal& found);

}  // namespace corvane::send
