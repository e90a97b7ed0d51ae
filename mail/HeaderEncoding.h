#pragma once
// Header lines for text that is not plain ASCII: RFC 2047 encoded-words in UTF-8 and
// RFC 5322 folding (section 2.2.3). Pure functions, no state.
//
// Each function returns the physical lines of one header field, without line ends; every
// line after the first begins with a blank (a folded continuation). A value that is all
// ASCII and whose line fits in 998 bytes comes back as the single line "Name: Value",
// byte for byte as given, so mail that needs no encoding is unchanged. Otherwise:
// - non-ASCII words become encoded-words "=?UTF-8?B?...?=" or "=?UTF-8?Q?...?=" (whichever
//   is shorter), none longer than 75 characters and none splitting a UTF-8 character;
// - lines are folded at 78 characters where the grammar allows, and never pass 998 (only a
//   header name or an addr-spec too long for a line of its own could make them).
// Decoding the result with an RFC 2047 reader gives back exactly the value given, CR and LF
// as blanks; the one exception is the historic form itself: an ASCII value that fits is
// written as it is, so "=?...?=" typed into it is decoded by readers, as it always was.
// Readers drop blanks at either end of a value, so when the value is encoded anyway they
// travel inside an encoded-word. A byte that is not well-formed UTF-8 is encoded on its own
// and never splits a character next to it (see EncodedWords.h).

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::mail {

// True when every byte is below 0x80.
bool IsAscii(std::string_view text);

// An unstructured field (Subject, Organization, X-Mailer, an extra header's value).
// Name is given without the colon ("Subject").
std::vector<std::string> UnstructuredHeader(std::string_view name, std::string_view value);

// Maps one addr-spec ("user@domain") to the form it takes on the wire: the caller converts
// a non-ASCII domain to its A-label there. It is never given a display name.
using TAddrSpecMapper = std::function<std::string(std::string_view addrSpec)>;

// An address-list field (From, To, CC) as the user typed it, read by ParseAddressList
// (AddressList.h). Only the display names (phrases) are encoded, quoted names included
// (their quotes and backslash escapes are resolved first, since an encoded-word may not stand
// inside a quoted-string, RFC 2047 section 5); every addr-spec is passed through Map and
// never encoded, and stands in angle brackets when it has a name. Folding happens between
// mailboxes and between the words of a phrase. When the value needs encoding, empty entries
// (a trailing comma) are left out, the comment after a bare address becomes its name, and an
// ASCII display name that is not a row of plain words ("Doe, Jane", "J. Doe") is written as a
// quoted-string; a value that is no address list is encoded as unstructured text. A phrase
// needing more than one encoded-word is written as RFC 2047 section 6.2 wants it; Python's
// email package (3.11) wrongly shows a blank at each cut between them.
std::vector<std::string> AddressListHeader(std::string_view name, std::string_view value,
                                           const TAddrSpecMapper& map);

}  // namespace corvane::mail
