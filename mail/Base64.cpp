#include "Base64.h"

#include <array>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#define CORVANE_BASE64_AVX2 1
#endif

namespace corvane::mail {

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12-bit value: one table look-up per half triplet instead
// of two, which roughly doubles the speed of the plain six-bit loop.
struct TPairTable {
    std::array<std::uint16_t, 4096> Pairs{};
    constexpr TPairTable() {
        for (unsigned i = 0; i < 4096; ++i) {
            const auto high = static_cast<unsigned char>(Alphabet[i >> 6]);
            const auto low = static_cast<unsigned char>(Alphabet[i & 63]);
            // Stored in memory order: the first character at the lower address.
            Pairs[i] = static_cast<std::uint16_t>(high | (low << 8));
        }
    }
};
constexpr TPairTable PairTable;

inline void PutPair(char* out, unsigned twelveBits) {
    std::memcpy(out, &PairTable.Pairs[twelveBits], 2);
}

inline std::uint64_t LoadBigEndian64(const std::uint8_t* in) {
    std::uint64_t value;
    std::memcpy(&value, in, 8);
    return __builtin_bswap64(value);
}

}  // namespace

void EncodeBase64Scalar(const std::uint8_t* in, std::size_t count, char* out) {
    // Six bytes (48 bits, four 12-bit pairs) per step, reading eight so the load is one
    // instruction; the loop stops while eight bytes are still there to read.
    while (count >= 8) {
        const std::uint64_t bits = LoadBigEndian64(in);
        PutPair(out, static_cast<unsigned>(bits >> 52) & 0xFFF);
        PutPair(out + 2, static_cast<unsigned>(bits >> 40) & 0xFFF);
        PutPair(out + 4, static_cast<unsigned>(bits >> 28) & 0xFFF);
        PutPair(out + 6, static_cast<unsigned>(bits >> 16) & 0xFFF);
        in += 6;
        out += 8;
        count -= 6;
    }
    while (count >= 3) {
        const unsigned bits = (unsigned{in[0]} << 16) | (unsigned{in[1]} << 8) | in[2];
        PutPair(out, bits >> 12);
        PutPair(out + 2, bits & 0xFFF);
        in += 3;
        out += 4;
        count -= 3;
    }
    if (count == 2) {
        const unsigned bits = (unsigned{in[0]} << 8) | in[1];
        out[0] = Alphabet[bits >> 10];
        out[1] = Alphabet[(bits >> 4) & 63];
        out[2] = Alphabet[(bits << 2) & 63];
        out[3] = '=';
    } else if (count == 1) {
        out[0] = Alphabet[in[0] >> 2];
        out[1] = Alphabet[(in[0] & 3) << 4];
        out[2] = '=';
        out[3] = '=';
    }
}

#ifdef CORVANE_BASE64_AVX2

namespace {

// 24 input bytes to 32 characters per step, after Wojciech Muła's vector Base64 method:
// each 128-bit lane takes 12 bytes, spreads every triplet over 32 bits, moves the four
// 6-bit fields into the four bytes with two multiplications, then maps the fields to the
// alphabet by adding an offset chosen per range with one byte shuffle. Compiled for AVX2
// whatever the build's target; only called when the processor has it.
__attribute__((target("avx2"))) inline __m256i EncodeStep(__m256i input) {
    // In each lane, triplet k (bytes 3k..3k+2) goes to the 32-bit word k as b1 b0 b2 b1, so
    // that both 16-bit halves hold the bits their two fields need.
    const __m256i spread = _mm256_shuffle_epi8(
        input, _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10,  //
                                1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
    // Fields 0 and 2 (low bytes of each half), shifted down into place by the high-half
    // multiply; fields 1 and 3 shifted up by the low-half multiply.
    const __m256i first = _mm256_mulhi_epu16(_mm256_and_si256(spread, _mm256_set1_epi32(0x0FC0FC00)),
                                             _mm256_set1_epi32(0x04000040));
    const __m256i second = _mm256_mullo_epi16(_mm256_and_si256(spread, _mm256_set1_epi32(0x003F03F0)),
                                              _mm256_set1_epi32(0x01000010));
    const __m256i fields = _mm256_or_si256(first, second);

    // Ranges: 0..25 'A'.., 26..51 'a'.., 52..61 '0'.., 62 '+', 63 '/'. The saturated
    // subtraction gives 0 for 0..51 and 1..12 above; values below 26 are then marked 13.
    __m256i range = _mm256_subs_epu8(fields, _mm256_set1_epi8(51));
    const __m256i below26 = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), fields);
    range = _mm256_or_si256(range, _mm256_and_si256(below26, _mm256_set1_epi8(13)));
    const __m256i offsets = _mm256_setr_epi8(
        'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
        '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0,  //
        'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
        '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    return _mm256_add_epi8(fields, _mm256_shuffle_epi8(offsets, range));
}

__attribute__((target("avx2"))) void EncodeBase64Avx2(const std::uint8_t* in, std::size_t count,
                                                      char* out) {
    // Each step reads 16 bytes at In and at In + 12 (28 in all) and uses 24 of them, so it
    // only runs while 32 bytes are left; the scalar loop finishes the rest, padding included.
    while (count >= 32) {
        const __m256i input = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 12)), 1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), EncodeStep(input));
        in += 24;
        out += 32;
        count -= 24;
    }
    EncodeBase64Scalar(in, count, out);
}

bool HasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

}  // namespace

#endif

namespace {

struct TPathList {
    std::array<TBase64Path, 2> Paths{};
    std::size_t Count = 0;
    TPathList() {
        Paths[Count++] = {"scalar", EncodeBase64Scalar};
#ifdef CORVANE_BASE64_AVX2
        if (HasAvx2()) {
            Paths[Count++] = {"avx2", EncodeBase64Avx2};
        }
#endif
    }
};

const TPathList& AvailablePaths() {
    static const TPathList paths;
    return paths;
}

}  // namespace

std::span<const TBase64Path> Base64Encoders() {
    const TPathList& list = AvailablePaths();
    return {list.Paths.data(), list.Count};
}

void EncodeBase64(const std::uint8_t* in, std::size_t count, char* out) {
    // Chosen once: the fastest encoder this processor runs.
    static const TBase64Encoder encode = Base64Encoders().back().Encode;
    encode(in, count, out);
}

std::string EncodeBase64(std::string_view data) {
    std::string out(Base64EncodedLength(data.size()), '\0');
    EncodeBase64(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), out.data());
    return out;
}

namespace {

// The six bits a character of the alphabet stands for, or -1.
int SextetOf(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

}  // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
    if (text.size() % 4 == 0 && text.ends_with("==")) {
        text.remove_suffix(2);
    } else if (text.size() % 4 == 0 && text.ends_with('=')) {
        text.remove_suffix(1);
    }
    // One character left over holds six bits, less than a byte.
    if (text.size() % 4 == 1) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(text.size() / 4 * 3 + 2);
    unsigned bits = 0;
    int held = 0;
    for (const char c : text) {
        const int sextet = SextetOf(c);
        if (sextet < 0) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<unsigned>(sextet);
        held += 6;
        if (held >= 8) {
            held -= 8;
            out += static_cast<char>((bits >> held) & 0xFF);
        }
    }
    return out;
}

}  // namespace corvane::mail
