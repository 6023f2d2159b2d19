#include "settings_payload.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "frame.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr Ipv4Value Ip(unsigned a, unsigned b, unsigned c, unsigned d) {
    return a << 24 | b << 16 | c << 8 | d;
}

TEST(EncodeSetPayload, ExampleSettings) {
    const SetPayload payload =
        EncodeSetPayload(4, Ip(192, 168, 1, 195), Ip(255, 255, 255, 0), Ip(192, 168, 1, 1));
    EXPECT_EQ(Bytes(payload.begin(), payload.end()),
              (Bytes{0x00, 0x0F, 0x04, 0x04, 0x04, 0xC3, 0x01, 0xA8, 0xC0, 0x00, 0xFF, 0xFF, 0xFF,
                     0x01, 0x01, 0xA8, 0xC0}));
}

TEST(EncodeSetPayload, NoSelectionAndBlankAddresses) {
    const SetPayload payload = EncodeSetPayload(-1, 0, 0, 0);
    EXPECT_EQ(Bytes(payload.begin(), payload.end()),
              (Bytes{0x00, 0x0F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(PrepareSetRequest, ExampleFrameByteForByte) {
    const std::uint8_t* frame =
        PrepareSetRequest(4, Ip(192, 168, 1, 195), Ip(255, 255, 255, 0), Ip(192, 168, 1, 1));
    EXPECT_EQ(Bytes(frame, frame + SET_REQUEST_SIZE),
              (Bytes{0x4C, 0x4D, 0x4B, 0x51, 0x00, 0x03, 0xCE, 0xAB, 0x00, 0x0F, 0x04, 0x04, 0x04,
                     0xC3, 0x01, 0xA8, 0xC0, 0x00, 0xFF, 0xFF, 0xFF, 0x01, 0x01, 0xA8, 0xC0}));
}

// The one frame is refilled before every send: nothing of an earlier request
// may survive into a later one, and the checksum must follow the payload.
TEST(PrepareSetRequest, RefillsPayloadAndChecksumEachTime) {
    PrepareSetRequest(4, Ip(192, 168, 1, 195), Ip(255, 255, 255, 0), Ip(192, 168, 1, 1));
    const std::uint8_t* frame = PrepareSetRequest(1, Ip(10, 0, 0, 7), Ip(255, 0, 0, 0), 0);
    const SetPayload expected = EncodeSetPayload(1, Ip(10, 0, 0, 7), Ip(255, 0, 0, 0), 0);
    EXPECT_EQ(0, std::memcmp(frame + 8, expected.data(), SET_PAYLOAD_SIZE));
    const FrameCheck check = CheckFrame(frame, SET_REQUEST_SIZE);
    ASSERT_TRUE(check.accepted);
    EXPECT_EQ(check.command, CMD_SET);
    EXPECT_EQ(frame[4], 0x00);
    EXPECT_EQ(0, std::memcmp(frame, FRAME_MAGIC, 4));
}

Bytes ReplyPayload(std::initializer_list<std::uint8_t> tail) {
    Bytes p{0x00, 0x00, 0x01, 0x03, 0x02, 0xC3, 0x01, 0xA8, 0xC0,
            0x00, 0xFF, 0xFF, 0xFF, 0x01, 0x01, 0xA8, 0xC0};
    for (std::uint8_t b : tail)
        p.push_back(b);
    p[1] = static_cast<std::uint8_t>(p.size() - 2);
    return p;
}

TEST(DecodeQueryReply, FixedFields) {
    const Bytes p = ReplyPayload({'V', '1', 0});
    const auto settings = DecodeQueryReply(p.data(), p.size());
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->selection[0], 1);
    EXPECT_EQ(settings->selection[1], 3);
    EXPECT_EQ(settings->selection[2], 2);
    EXPECT_EQ(settings->ipAddress, Ip(192, 168, 1, 195));
    EXPECT_EQ(settings->subnetMask, Ip(255, 255, 255, 0));
    EXPECT_EQ(settings->gateway, Ip(192, 168, 1, 1));
}

TEST(DecodeQueryReply, VersionText) {
    struct Case {
        const char* what;
        Bytes payload;
        std::string text;
    };
    const Case cases[] = {
        {"ended by a zero byte", ReplyPayload({'V', '2', '.', '1', 0}), "V2.1"},
        {"zero byte then more bytes", ReplyPayload({'A', 'B', 0, 'C', 'D'}), "AB"},
        {"runs to the payload's end", ReplyPayload({'L', 'M', 'K', '7'}), "LMK7"},
        {"no text at all", ReplyPayload({}), ""},
        {"zero byte at once", ReplyPayload({0, 'X'}), ""},
        {"GBK bytes kept as they are", ReplyPayload({0xB0, 0xE6, 0x31, 0}), "\xB0\xE6\x31"},
    };
    for (const Case& c : cases) {
        const auto settings = DecodeQueryReply(c.payload.data(), c.payload.size());
        ASSERT_TRUE(settings) << c.what;
        EXPECT_EQ(settings->versionText, c.text) << c.what;
    }
}

// A reply too short for its fixed fields is rejected rather than filled from
// whatever lies beyond it. Copies of exact length let a sanitizer or a
// guard catch any read past the end.
TEST(DecodeQueryReply, RejectsPayloadShorterThanTheFixedFields) {
    const Bytes full = ReplyPayload({});
    for (std::size_t n = 0; n < QUERY_REPLY_MIN_PAYLOAD; ++n) {
        std::vector<std::uint8_t> exact(full.begin(), full.begin() + static_cast<long>(n));
        EXPECT_FALSE(DecodeQueryReply(exact.data(), exact.size())) << n << " bytes";
    }
    EXPECT_TRUE(DecodeQueryReply(full.data(), full.size()));
}

TEST(SettingsRoundTrip, EncodeThenDecodeGivesTheSameAddresses) {
    const Ipv4Value values[][3] = {
        {Ip(0, 0, 0, 0), Ip(0, 0, 0, 0), Ip(0, 0, 0, 0)},
        {Ip(255, 255, 255, 255), Ip(255, 255, 255, 254), Ip(1, 2, 3, 4)},
        {Ip(10, 20, 30, 40), Ip(255, 255, 0, 0), Ip(10, 20, 0, 1)},
    };
    for (const auto& v : values) {
        const SetPayload p = EncodeSetPayload(2, v[0], v[1], v[2]);
        const auto settings = DecodeQueryReply(p.data(), p.size());
        ASSERT_TRUE(settings);
        EXPECT_EQ(settings->ipAddress, v[0]);
        EXPECT_EQ(settings->subnetMask, v[1]);
        EXPECT_EQ(settings->gateway, v[2]);
        EXPECT_EQ(settings->selection[1], 2);
    }
}

}  // namespace
