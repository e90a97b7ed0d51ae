// The attachment encoder: every Base64 path this processor can run, on any bytes.
//
// Properties: each path writes exactly Base64EncodedLength characters of the standard
// alphabet with '=' only as padding at the end, every path writes the same characters, and
// decoding them gives the bytes back.

#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "HeaderDecoding.h"
#include "mail/Base64.h"

namespace mail = corvane::mail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = corvane::fuzz::AsText(data, size);
    const std::string reference = mail::EncodeBase64(input);
    FUZZ_CHECK(reference.size() == mail::Base64EncodedLength(size),
               std::to_string(reference.size()));
    const auto decoded = corvane::fuzz::DecodeBase64Text(reference);
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
