// Every Base64 encoder this processor can run (the portable one and the vectorised ones)
// must write exactly the characters of the portable one, for every length and for inputs
// that end at the edge of readable memory.

#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "mail/Base64.h"

namespace corvane::mail {
namespace {

std::vector<std::uint8_t> RandomBytes(std::size_t count, std::mt19937_64& random) {
    std::vector<std::uint8_t> bytes(count);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

// Encodes with Encode into a buffer with guard bytes after the encoded length.
std::string EncodeGuarded(TBase64Encoder encode, const std::uint8_t* in, std::size_t count) {
    constexpr std::size_t Guard = 64;
    const std::size_t length = Base64EncodedLength(count);
    std::string out(length + Guard, '\x7f');
    encode(in, count, out.data());
    for (std::size_t i = length; i < out.size(); ++i) {
        EXPECT_EQ(out[i], '\x7f') << "wrote past the encoded length at " << i << " for " << count
                                  << " bytes";
    }
    out.resize(length);
    return out;
}

std::string Scalar(const std::vector<std::uint8_t>& in) {
    return EncodeGuarded(EncodeBase64Scalar, in.data(), in.size());
}

TEST(Base64Paths, TheScalarEncoderIsAlwaysAvailableAndListedFirst) {
    const auto paths = Base64Encoders();
    ASSERT_FALSE(paths.empty());
    EXPECT_EQ(paths.front().Name, "scalar");
    EXPECT_EQ(paths.front().Encode, &EncodeBase64Scalar);
    for (const auto& path : paths) {
        std::cout << "[ encoder  ] " << path.Name << "\n";
    }
}

TEST(Base64Paths, EveryPathMatchesTheScalarOneForEveryLengthUpTo300) {
    std::mt19937_64 random(7);
    for (std::size_t length = 0; length <= 300; ++length) {
        const auto in = RandomBytes(length, random);
        const std::string expected = Scalar(in);
        for (const auto& path : Base64Encoders()) {
            ASSERT_EQ(EncodeGuarded(path.Encode, in.data(), in.size()), expected)
                << path.Name << ", length " << length;
        }
    }
}

TEST(Base64Paths, EveryPathMatchesTheScalarOneOnLargeInputs) {
    std::mt19937_64 random(11);
    for (const std::size_t length : {std::size_t{57 * 40 * 456}, std::size_t{1 << 20},
                                     std::size_t{(1 << 20) + 1}, std::size_t{3 * 1000003 + 2}}) {
        const auto in = RandomBytes(length, random);
        const std::string expected = Scalar(in);
        for (const auto& path : Base64Encoders()) {
            ASSERT_EQ(EncodeGuarded(path.Encode, in.data(), in.size()), expected)
                << path.Name << ", length " << length;
        }
    }
}

TEST(Base64Paths, EveryPathMatchesTheScalarOneForEveryByteValueAtEveryPosition) {
    // All 256 byte values, shifted through every position of a 24-byte vector step.
    std::vector<std::uint8_t> in(256 + 24);
    for (std::size_t shift = 0; shift < 24; ++shift) {
        for (std::size_t i = 0; i < in.size(); ++i) {
            in[i] = static_cast<std::uint8_t>(i + shift);
        }
        const std::string expected = Scalar(in);
        for (const auto& path : Base64Encoders()) {
            ASSERT_EQ(EncodeGuarded(path.Encode, in.data(), in.size()), expected)
                << path.Name << ", shift " << shift;
        }
    }
}

TEST(Base64Paths, EveryPathMatchesTheScalarOneLineByLine) {
    // The composer's shape: 57 bytes into each 76-character line.
    std::mt19937_64 random(13);
    const auto in = RandomBytes(57 * 100 + 20, random);
    for (const auto& path : Base64Encoders()) {
        std::string lines;
        for (std::size_t offset = 0; offset < in.size(); offset += 57) {
            const std::size_t count = std::min<std::size_t>(57, in.size() - offset);
            lines += EncodeGuarded(path.Encode, in.data() + offset, count);
        }
        EXPECT_EQ(lines, Scalar(in)) << path.Name;
    }
}

TEST(Base64Paths, NoPathReadsPastTheEndOfItsInput) {
    // The input ends where an unreadable page begins: reading one byte too many crashes.
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    void* area = ::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(area, MAP_FAILED);
    auto* bytes = static_cast<std::uint8_t*>(area);
    ASSERT_EQ(::mprotect(bytes + page, page, PROT_NONE), 0);
    std::mt19937_64 random(17);
    for (std::size_t i = 0; i < page; ++i) {
        bytes[i] = static_cast<std::uint8_t>(random());
    }
    for (std::size_t length = 0; length <= 300; ++length) {
        const std::uint8_t* in = bytes + page - length;
        const std::vector<std::uint8_t> copy(in, in + length);
        const std::string expected = Scalar(copy);
        for (const auto& path : Base64Encoders()) {
            EXPECT_EQ(EncodeGuarded(path.Encode, in, length), expected)
                << path.Name << ", length " << length;
        }
    }
    ::munmap(area, 2 * page);
}

TEST(Base64Paths, EncodeBase64GivesTheScalarResult) {
    std::mt19937_64 random(19);
    const auto in = RandomBytes(1000, random);
    std::string out(Base64EncodedLength(in.size()), '\0');
    EncodeBase64(in.data(), in.size(), out.data());
    EXPECT_EQ(out, Scalar(in));
    EXPECT_EQ(EncodeBase64(std::string_view(reinterpret_cast<const char*>(in.data()), in.size())),
              Scalar(in));
}

}  // namespace
}  // namespace corvane::mail
