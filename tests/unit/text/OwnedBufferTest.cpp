#include <gtest/gtest.h>

#include "text/OwnedBuffer.h"

namespace OAuthClient {
namespace {

TEST(OwnedBuffer, CopyWideTerminatesAndOwnsACopy) {
    wchar_t source[] = L"abc";
    WideBuffer copy = CopyWide(source);
    source[0] = L'x';
    ASSERT_TRUE(copy);
    EXPECT_STREQ(copy.get(), L"abc");
    EXPECT_EQ(copy.size(), 4u);
}

TEST(OwnedBuffer, CopyWideOfNullIsEmpty) {
    EXPECT_FALSE(CopyWide(nullptr));
}

TEST(OwnedBuffer, ResetTakesTheNewArrayAfterCopyingFromTheOld) {
    WideBuffer buffer = CopyWide(L"first");
    // Copy from the held text first, then replace it: the pattern every
    // setter uses so that an argument may point into its own buffer.
    WideBuffer next = CopyWide(buffer.get() + 1);
    buffer = std::move(next);
    EXPECT_STREQ(buffer.get(), L"irst");
    EXPECT_FALSE(next);
}

TEST(OwnedBuffer, ZeroedRefusesSizesThatOverflow) {
    EXPECT_FALSE(WideBuffer::Zeroed(0));
    EXPECT_FALSE(WideBuffer::Zeroed(static_cast<size_t>(-1)));
    ByteBuffer bytes = ByteBuffer::Zeroed(3);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes.get()[0] | bytes.get()[1] | bytes.get()[2], 0);
}

}  // namespace
}  // namespace OAuthClient
