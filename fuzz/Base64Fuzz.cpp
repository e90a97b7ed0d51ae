// The attachment encoder: every Base64 path this processor can run, on any bytes.
//
// Properties: each path writes exactly Base64EncodedLength characters of the standard
// alphabet with '=' only as padding at the end, every path writes the same characters, and
// decoding them gives the bytes back.

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "mail/Base64.h"

namespace {

namespace mail = corvane::mail;

// A strict decoder of the test's own: nullopt for a character outside the alphabet, a
// length that is not a multiple of 4, or padding anywhere but the end.
std::optional<std::string> DecodeBase64(std::string_view text) {
    static constexpr std::string_view Alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        std::uint32_t group = 0;
        int padding = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const char c = text[i + j];
            if (c == '=' && last && j >= 2 && (j == 3 || text[i + 3] == '=')) {
                ++padding;
                group <<= 6;
                continue;
            }
            const auto value = Alphabet.find(c);
            if (value == std::string_view::npos || padding > 0) {
                return std::nullopt;
            }
            group = group << 6 | static_cast<std::uint32_t>(value);
        }
        const std::array<char, 3> three{static_cast<char>(group >> 16),
                                        static_cast<char>(group >> 8), static_cast<char>(group)};
        bytes.append(three.data(), static_cast<std::size_t>(3 - padding));
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = corvane::fuzz::AsText(data, size);
    const std::string reference = mail::EncodeBase64(input);
    FUZZ_CHECK(reference.size() == mail::Base64EncodedLength(size),
               std::to_string(reference.size()));
    const auto decoded = DecodeBase64(reference);
    FUZZ_CHECK(decoded && *decoded == input, "decoding did not give the bytes back: " + reference);

    // Exactly as much room as promised, so that AddressSanitizer sees a write past it.
    const auto out = std::make_unique<char[]>(reference.size());
    for (const auto& path : mail::Base64Encoders()) {
        path.Encode(data, size, out.get());
        FUZZ_CHECK(std::string_view(out.get(), reference.size()) == reference,
                   std::string(path.Name) + " differs from the others");
    }
    return 0;
}
