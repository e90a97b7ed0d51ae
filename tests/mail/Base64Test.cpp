#include "mail/Base64.h"

#include <gtest/gtest.h>

#include <random>

namespace corvane::mail {
namespace {

// Bit by bit, the slow and obvious way, to check the table-driven encoder against.
std::string ReferenceBase64(const std::string& data) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int held = 0;
    for (const unsigned char c : data) {
        bits = (bits << 8) | c;
        held += 8;
        while (held >= 6) {
            out += alphabet[(bits >> (held - 6)) & 63];
            held -= 6;
        }
    }
    if (held > 0) {
        out += alphabet[(bits << (6 - held)) & 63];
    }
    while (out.size() % 4 != 0) {
        out += '=';
    }
    return out;
}

TEST(Base64, EncodesTheRfc4648TestVectors) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(EncodeBase64(plain), encoded) << plain;
    }
}

TEST(Base64, DecodesWhatItEncodesAndRefusesWhatIsNoBase64) {
    std::mt19937 random(7);
    for (std::size_t length = 0; length <= 40; ++length) {
        std::string data(length, '\0');
        for (char& c : data) {
            c = static_cast<char>(random());
        }
        const std::string encoded = EncodeBase64(data);
        ASSERT_EQ(DecodeBase64(encoded), data) << "length " << length;
        // Without its padding, as some servers send it.
        ASSERT_EQ(DecodeBase64(encoded.substr(0, encoded.find('='))), data) << "length " << length;
    }
    for (const char* garbage : {"Z", "Zm9v!", "Zm=v", "Zg===", "Zg==Zg==", "Zm9v\r\n", "{\"status\"}"}) {
        EXPECT_EQ(DecodeBase64(garbage), std::nullopt) << garbage;
    }
}

TEST(Base64, AgreesWithTheReferenceForEveryLengthAndByte) {
    std::mt19937 random(42);
    for (std::size_t length = 0; length <= 200; ++length) {
        std::string data(length, '\0');
        for (char& c : data) {
            c = static_cast<char>(random());
        }
        ASSERT_EQ(EncodeBase64(data), ReferenceBase64(data)) << "length " << length;
    }
    std::string everyByte;
    for (int i = 0; i < 256; ++i) {
        everyByte += static_cast<char>(i);
    }
    EXPECT_EQ(EncodeBase64(everyByte), ReferenceBase64(everyByte));
}

TEST(Base64, WritesExactlyTheEncodedLength) {
    // The encoder writes into a caller's buffer: nothing may land past the encoded length.
    for (std::size_t length : {0u, 1u, 2u, 3u, 7u, 8u, 9u, 57u}) {
        const std::string data(length, '\xff');
        std::string out(Base64EncodedLength(length) + 8, '#');
        EncodeBase64(reinterpret_cast<const std::uint8_t*>(data.data()), length, out.data());
        EXPECT_EQ(out.substr(Base64EncodedLength(length)), "########") << length;
    }
}

}  // namespace
}  // namespace corvane::mail
