#pragma once
// mailto: links (RFC 6068) as a browser or the desktop hands them over: the recipients, the
// subject and the text a link asks for, read strictly, since anybody's web page can write
// one. Pure functions, no state.
//
// - "mailto:" (any case), the addresses of the path separated by commas, then "?" and
//   fields "name=value" separated by "&" (section 2). Names compare without regard to ASCII
//   case. to, cc and bcc add addresses (to= after those of the path); of subject and body the
//   first one counts. Every other field is ignored: the RFC (section 3) leaves it to the
//   reader to take only the safe ones, and these five are all the window has. A fragment
//   ("#...") is no part of a mailto URI and is ignored.
// - Every value is percent-decoded once and must then be well-formed UTF-8 (RFC 3629).
//   A comma only separates addresses where the link writes it raw: "%2C" stays inside its
//   address. Blanks around an address are dropped; the subject and body keep theirs.
// - The body's line breaks become "\n": "%0D%0A" as the RFC writes them, and "%0A" or "%0D"
//   alone as links in the wild do.
// - A value with an invalid escape ("%" without two hex digits), with bytes that are not
//   UTF-8, with a control character (in an address or the subject CR and LF too; a tab is
//   allowed everywhere), or longer than its bound is left out whole and named in LeftOut,
//   so a line break can never reach a single-line field; the rest of the link still counts.
// - Bounds, decoded: MaxMailtoFieldBytes for each of To, Cc, Bcc and Subject (a link that
//   needs more is not one a person wrote), MaxMailtoBodyBytes for the text.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::mail {

inline constexpr std::size_t MaxMailtoFieldBytes = 8 * 1024;
inline constexpr std::size_t MaxMailtoBodyBytes = 64 * 1024;

struct TMailtoLink {
    std::string To;  // the addresses as decoded, joined by ", "; empty when none
    std::string Cc;
    std::string Bcc;
    std::string Subject;
    std::string Body;  // lines separated by "\n"
    // What was left out and why, one entry per value, named as the link names it:
    // "subject (a line break)", "to (an invalid % escape)".
    std::vector<std::string> LeftOut;
};

// Whether Text starts with the scheme "mailto:" (any case).
bool IsMailtoLink(std::string_view text);

// The fields of Link (see the contract); a text that is no mailto link gives nothing but
// one entry in LeftOut.
TMailtoLink ParseMailtoLink(std::string_view link);

}  // namespace corvane::mail
