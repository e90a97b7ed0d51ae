#pragma once
// International domain names (RFC 5890/5891) for the envelope and the headers: a domain
// typed in Unicode goes on the wire as its A-label form ("bücher.example" becomes
// "xn--bcher-kva.example"), converted by libidn2 (IDNA2008, input normalised to NFC).

#include <optional>
#include <string>
#include <string_view>

namespace corvane::mail {

// Domain unchanged when it is ASCII; its A-label form otherwise; nothing when it is not a
// valid international domain name.
std::optional<std::string> DomainToAscii(std::string_view domain);

// An addr-spec ("local@domain") with its domain as DomainToAscii gives it and its local
// part unchanged; an address without '@', or with an address literal ("[192.0.2.1]") for
// its domain, is returned as it is. Nothing when the domain is not a valid name.
std::optional<std::string> AddressToAscii(std::string_view address);

// The domain of an addr-spec: the text after its last '@' (empty without one).
std::string_view AddressDomain(std::string_view address);

}  // namespace corvane::mail
