#pragma once
// Which folder of an IMAP server a copy of a sent message belongs in, from the server's answer
// to LIST (RFC 3501 section 7.2.2), with or without RETURN (SPECIAL-USE) (RFC 6154): the folder
// the server marks \Sent, else one named "Sent" at the top or right under INBOX ("INBOX.Sent",
// "INBOX/Sent", with the hierarchy delimiter the server gives), else none. Names compare
// without regard to ASCII case; a folder that cannot be selected (\Noselect, \NonExistent) is
// never chosen. Names are returned exactly as the server spells them, so modified UTF-7 stays
// modified UTF-7: they are for talking to that server. Qt-free.

#include <optional>
#include <string>
#include <string_view>

namespace corvane::account {

// Answer: the untagged lines of a LIST answer ("* LIST (\HasNoChildren \Sent) "/" "Sent Items""),
// each ending in CRLF or LF; other lines are passed over. A name sent as a literal ({11} and its
// bytes on the next line) is read as one; a literal whose bytes are missing, as libcurl hands
// on the answer, names nothing.
std::optional<std::string> ChooseSentFolder(std::string_view answer);

}  // namespace corvane::account
