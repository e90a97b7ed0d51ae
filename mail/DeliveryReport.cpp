#include "mail/DeliveryReport.h"

#include <algorithm>

namespace corvane::mail {

namespace {

bool StandsForItself(char c) {
    return c >= '!' && c <= '~' && c != '+' && c != '=';
}

// RFC 3461 section 4: "!" to "~" stand for themselves, except "+" and "="; every other byte
// is "+" and two upper-case hex digits.
std::string EncodeXtext(std::string_view text) {
    static constexpr std::string_view Hex = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char c : text) {
        if (StandsForItself(c)) {
            encoded += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        encoded += '+';
        encoded += Hex[byte >> 4];
        encoded += Hex[byte & 0x0F];
    }
    return encoded;
}

}  // namespace

std::string EnvelopeId(std::string_view messageId) {
    if (messageId.starts_with('<') && messageId.ends_with('>')) {
        messageId = messageId.substr(1, messageId.size() - 2);
    }
    std::string printable(messageId);
    // Servers refuse an envelope id that holds anything else; the composer's never does.
    std::erase_if(printable, [](char c) { return c < ' ' || c > '~'; });
    std::string id = EncodeXtext(printable);
    if (id.size() > MaxEnvelopeIdLength) {
        // Every "+" opens a three-character escape: one that the cut would split is left out.
        const std::size_t escape = id.rfind('+', MaxEnvelopeIdLength - 1);
        const bool split = escape != std::string::npos && escape + 3 > MaxEnvelopeIdLength;
        id.resize(split ? escape : MaxEnvelopeIdLength);
    }
    return id;
}

}  // namespace corvane::mail
