#pragma once
// What MAIL FROM and RCPT TO carry when the sender asks the servers on the way for a
// delivery status notification (RFC 3461): the envelope id they quote back, in the xtext
// form the parameters take. Pure, no state.

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane::mail {

// RFC 3461 section 4.4: no envelope id may pass 100 characters.
constexpr std::size_t MaxEnvelopeIdLength = 100;

// The ENVID for a message with this Message-ID ("<unique@host>"): its content without the
// angle brackets and without anything but printable ASCII and the blank (all an envelope id
// may hold, RFC 3461 section 4.4), as xtext (section 4: "+", "=" and the blank become "+"
// and two hex digits), cut after at most MaxEnvelopeIdLength characters and never inside
// such an escape. The unique part comes first, so a cut only shortens the host.
std::string EnvelopeId(std::string_view messageId);

}  // namespace corvane::mail
