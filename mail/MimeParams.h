#pragma once
// The part header lines of one attachment, with its file name as a MIME parameter.
// Pure function, no state.
//
// An ASCII name whose lines fit in 78 characters gives exactly the three lines the program
// has always written (each of the two name lines keeps this form on its own while it fits):
//   Content-Type: <type>; name="<name>"
//   Content-Transfer-Encoding: base64
//   Content-Disposition: attachment; fileName="<name>"
// ('"' and '\' escaped, CR and LF as blanks). A non-ASCII or long name is written the way
// the common desktop mail programs do: the Content-Type "name" parameter as an RFC 2047
// encoded-word in UTF-8 for older readers, and Content-Disposition with the RFC 2231
// parameter "filename*" (UTF-8''percent-encoded), split into numbered continuations
// (filename*0*=..., filename*1*=...) cut between characters, so that no header line passes
// 78 characters (a content type too long for a line of its own aside). Folded lines begin
// with a blank. A reader that understands RFC 2231 gets back exactly Name, CR and LF as
// blanks; bytes that are not UTF-8 travel as their own %XX or encoded-word bytes.

#include <string>
#include <string_view>
#include <vector>

namespace corvane::mail {

std::vector<std::string> AttachmentPartHeaders(std::string_view contentType,
                                               std::string_view fileName);

}  // namespace corvane::mail
