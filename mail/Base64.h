#pragma once
// Base64 of RFC 2045 / RFC 4648 section 4: standard alphabet, '=' padding. Mail bodies carry
// it in lines of 76 characters, each encoding 57 input bytes. Decoding is only for the short
// texts a server sends during sign-in.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace corvane::mail {

inline constexpr std::size_t Base64LineInputBytes = 57;
inline constexpr std::size_t Base64LineLength = 76;

// Characters needed for Count input bytes (padding included).
constexpr std::size_t Base64EncodedLength(std::size_t count) { return (count + 2) / 3 * 4; }

// Encodes Count bytes into Out, which must have room for Base64EncodedLength(Count)
// characters. Reads exactly Count bytes of In.
void EncodeBase64(const std::uint8_t* in, std::size_t count, char* out);

// One way of encoding; every one gives the same characters.
using TBase64Encoder = void (*)(const std::uint8_t* in, std::size_t count, char* out);
struct TBase64Path {
    std::string_view Name;
    TBase64Encoder Encode;
};

// The portable encoder: the reference the faster ones are checked against.
void EncodeBase64Scalar(const std::uint8_t* in, std::size_t count, char* out);

// The encoders this processor can run, "scalar" first and the one EncodeBase64 uses last.
// For the tests and benchmarks that compare them.
std::span<const TBase64Path> Base64Encoders();

// Convenience form for short data and tests: the whole encoding on one line.
std::string EncodeBase64(std::string_view data);

// The bytes Text encodes, or nothing when it is not Base64: a character outside the
// alphabet, padding anywhere but at the end, or a length no encoding has. The padding may
// be left out, as some servers do.
std::optional<std::string> DecodeBase64(std::string_view text);

}  // namespace corvane::mail
