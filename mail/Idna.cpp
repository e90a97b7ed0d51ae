#include "Idna.h"

#include <idn2.h>

#include <algorithm>
#include <memory>

namespace corvane::mail {

namespace {

bool IsAsciiText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

struct TFreeDeleter {
    void operator()(char* text) const { idn2_free(text); }
};

}  // namespace

std::optional<std::string> DomainToAscii(std::string_view domain) {
    if (IsAsciiText(domain)) {
        return std::string(domain);
    }
    // libidn2 reads up to the first NUL: a domain holding one would pass for the part before it.
    if (domain.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string input(domain);
    char* converted = nullptr;
    // Non-transitional processing (UTS #46 as browsers do it): "ß" stays "ß", not "ss".
    const int status = idn2_to_ascii_8z(input.c_str(), &converted, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
    const std::unique_ptr<char, TFreeDeleter> owned(converted);
    if (status != IDN2_OK || converted == nullptr) {
        return std::nullopt;
    }
    return std::string(converted);
}

std::string_view AddressDomain(std::string_view address) {
    const auto at = address.rfind('@');
    return at == std::string_view::npos ? std::string_view() : address.substr(at + 1);
}

std::optional<std::string> AddressToAscii(std::string_view address) {
    const auto at = address.rfind('@');
    if (at == std::string_view::npos || address.substr(at + 1).starts_with('[')) {
        return std::string(address);
    }
    const auto domain = DomainToAscii(address.substr(at + 1));
    if (!domain) {
        return std::nullopt;
    }
    return std::string(address.substr(0, at + 1)) + *domain;
}

}  // namespace corvane::mail
