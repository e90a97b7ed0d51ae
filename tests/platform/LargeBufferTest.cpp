#include "platform/memory/LargeBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace corvane::memory {
namespace {

// A byte pattern that shows any byte lost, moved or duplicated.
char PatternAt(std::size_t i) {
    return static_cast<char>('a' + (i * 7 + i / 251) % 26);
}

// Grown piece by piece from the heap into a mapping and on through several remaps, the
// buffer keeps every byte; moving it hands the memory over.
TEST(LargeBuffer, GrowingAcrossTheMappedSizesKeepsEveryByte) {
    for (const std::size_t piece :
         {std::size_t{1000}, std::size_t{256} << 10, std::size_t{3} << 20}) {
        TLargeBuffer buffer;
        std::string expected;
        while (expected.size() < (std::size_t{11} << 20)) {
            std::string bytes(piece, '\0');
            for (std::size_t i = 0; i < piece; ++i) {
                bytes[i] = PatternAt(expected.size() + i);
            }
            buffer.Append(bytes);
            expected += bytes;
            ASSERT_GE(buffer.Capacity(), buffer.Size());
        }
        ASSERT_EQ(buffer.View(), expected) << "pieces of " << piece;

        buffer.Resize(5);  // shrinking keeps the start
        EXPECT_EQ(buffer.View(), expected.substr(0, 5));
        TLargeBuffer moved(std::move(buffer));
        EXPECT_EQ(moved.View(), expected.substr(0, 5));
        EXPECT_TRUE(buffer.Empty());
        EXPECT_EQ(buffer.Data(), nullptr);
        buffer = std::move(moved);
        EXPECT_EQ(buffer.View(), expected.substr(0, 5));
        buffer.Reset();
        EXPECT_TRUE(buffer.Empty());
        EXPECT_EQ(buffer.Capacity(), 0u);
    }
}

}  // namespace
}  // namespace corvane::memory
