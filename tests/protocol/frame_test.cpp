#include "frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

Frame Bytes(std::initializer_list<int> values) {
    Frame out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

TEST(Crc16Modbus, KnownVectors) {
    struct Case {
        Frame input;
        std::uint16_t crc;
    };
    const std::string digits = "123456789";
    const Case cases[] = {
        {Frame(digits.begin(), digits.end()), 0x4B37},
        {Bytes({0x00}), 0x40BF},
        {Bytes({0x01, 0x03, 0x00, 0x85, 0x00, 0x01}), 0xE395},
        {Frame(), 0xFFFF},
        {Bytes({0x00, 0x00}), 0xB001},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Crc16Modbus(c.input.data(), c.input.size()), c.crc)
            << "over " << c.input.size() << " bytes";
    }
}

// The table method must agree with the plain bitwise definition everywhere,
// not only on the published vectors.
TEST(Crc16Modbus, AgreesWithBitwiseDefinitionOnEveryByteAndPair) {
    auto bitwise = [](const std::uint8_t* p, std::size_t n) {
        unsigned crc = 0xFFFF;
        for (std::size_t k = 0; k < n; ++k) {
            crc ^= p[k];
            for (int b = 0; b < 8; ++b)
                crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        }
        return static_cast<std::uint16_t>(crc);
    };
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; b += 17) {
            const std::uint8_t pair[2] = {static_cast<std::uint8_t>(a),
                                          static_cast<std::uint8_t>(b)};
            ASSERT_EQ(Crc16Modbus(pair, 2), bitwise(pair, 2)) << a << "," << b;
            ASSERT_EQ(Crc16Modbus(pair, 1), bitwise(pair, 1)) << a;
        }
    }
}

TEST(ComposeFrame, QueryEqualsTheFixedQueryFrame) {
    const std::uint8_t payload[2] = {0x00, 0x00};
    const Frame query = ComposeFrame(CMD_QUERY, payload, 2);
    ASSERT_EQ(query.size(), QUERY_FRAME_SIZE);
    EXPECT_EQ(0, std::memcmp(query.data(), QUERY_FRAME, QUERY_FRAME_SIZE));
    EXPECT_EQ(Frame(QUERY_FRAME, QUERY_FRAME + QUERY_FRAME_SIZE),
              Bytes({0x4C, 0x4D, 0x4B, 0x51, 0x00, 0x01, 0x01, 0xB0, 0x00, 0x00}));
}

TEST(ComposeFrame, CarriesChecksumLowByteFirst) {
    const std::string digits = "123456789";
    const Frame frame =
        ComposeFrame(0x7E, reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size());
    ASSERT_EQ(frame.size(), 8 + digits.size());
    EXPECT_EQ(frame[4], 0x00);
    EXPECT_EQ(frame[5], 0x7E);
    EXPECT_EQ(frame[6], 0x37);
    EXPECT_EQ(frame[7], 0x4B);
    EXPECT_EQ(std::string(frame.begin() + 8, frame.end()), digits);
}

TEST(CheckFrame, AcceptsWholeFramesWhateverTheirReservedByteOrCommand) {
    const std::uint8_t payload[] = {0x00, 0x03, 0xAA, 0xBB, 0xCC};
    for (std::uint8_t command :
         {std::uint8_t{CMD_QUERY_REPLY}, std::uint8_t{CMD_SET_REPLY}, std::uint8_t{0x99}}) {
        Frame frame = ComposeFrame(command, payload, sizeof payload);
        frame[4] = 0x5A;  // reserved is never examined in what we receive
        const FrameCheck check = CheckFrame(frame.data(), frame.size());
        ASSERT_TRUE(check.accepted);
        EXPECT_EQ(check.command, command);
        EXPECT_EQ(check.payload, frame.data() + 8);
        EXPECT_EQ(check.payloadLength, sizeof payload);
    }
    const FrameCheck query = CheckFrame(QUERY_FRAME, QUERY_FRAME_SIZE);
    EXPECT_TRUE(query.accepted);
    EXPECT_EQ(query.payloadLength, 2u);
}

TEST(CheckFrame, Rejections) {
    const std::uint8_t payload[] = {0x00, 0x03, 0x01, 0x02, 0x03};
    const Frame good = ComposeFrame(CMD_QUERY_REPLY, payload, sizeof payload);

    struct Case {
        const char* what;
        Frame block;
    };
    Frame nine(good.begin(), good.begin() + 9);  // header and one byte
    Frame nineOwnCrc = ComposeFrame(CMD_QUERY_REPLY, payload, 1);
    Frame prefixed = good;
    prefixed.insert(prefixed.begin(), 0x00);
    Frame twoFrames = good;
    twoFrames.insert(twoFrames.end(), good.begin(), good.end());
    Frame badMagic = good;
    badMagic[3] = 'R';
    Frame badLow = good;
    badLow[6] ^= 0x01;
    Frame badHigh = good;
    badHigh[7] ^= 0x80;
    Frame badPayload = good;
    badPayload.back() ^= 0x10;
    Frame truncated(good.begin(), good.end() - 1);
    Frame swapped = good;
    std::swap(swapped[6], swapped[7]);

    const Case cases[] = {
        {"empty", Frame()},
        {"nine bytes, magic first", nine},
        {"nine bytes with a checksum of their own", nineOwnCrc},
        {"a byte in front of the magic", prefixed},
        {"two whole frames in one block", twoFrames},
        {"wrong magic", badMagic},
        {"checksum low byte wrong", badLow},
        {"checksum high byte wrong", badHigh},
        {"payload corrupted", badPayload},
        {"last byte missing", truncated},
        {"checksum bytes swapped", swapped},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(CheckFrame(c.block.data(), c.block.size()).accepted) << c.what;
    }
}

}  // namespace
