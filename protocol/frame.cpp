#include "frame.h"

#include <array>

namespace {

// The two 256-entry tables of the Modbus table method, built once from the
// reflected polynomial: the high-byte table holds the low byte of each
// entry's remainder, the low-byte table its high byte.
struct CrcTables {
    std::array<std::uint8_t, 256> high;
    std::array<std::uint8_t, 256> low;
};

constexpr CrcTables BuildCrcTables() {
    CrcTables tables{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned t = i;
        for (int bit = 0; bit < 8; ++bit) {
            t = (t & 1u) ? (t >> 1) ^ 0xA001u : t >> 1;
        }
        tables.high[i] = static_cast<std::uint8_t>(t & 0xFFu);
        tables.low[i] = static_cast<std::uint8_t>(t >> 8);
    }
    return tables;
}

constexpr CrcTables CRC_TABLES = BuildCrcTables();

static_assert(CRC_TABLES.high[1] == 0xC1 && CRC_TABLES.high[3] == 0x40, "high-byte table");
static_assert(CRC_TABLES.low[1] == 0xC0 && CRC_TABLES.low[7] == 0xC2, "low-byte table");

}  // namespace

const std::uint8_t QUERY_FRAME[QUERY_FRAME_SIZE] = {0x4C, 0x4D, 0x4B, 0x51, 0x00,
                                                    0x01, 0x01, 0xB0, 0x00, 0x00};

std::uint16_t Crc16Modbus(const std::uint8_t* bytes, std::size_t length) {
    std::uint8_t first = 0xFF;   // goes to offset 6: the low byte
    std::uint8_t second = 0xFF;  // goes to offset 7: the high byte
    for (std::size_t k = 0; k < length; ++k) {
        const std::uint8_t i = bytes[k] ^ first;
        first = CRC_TABLES.high[i] ^ second;
        second = CRC_TABLES.low[i];
    }
    return static_cast<std::uint16_t>(second << 8 | first);
}

Frame ComposeFrame(std::uint8_t command, const std::uint8_t* payload, std::size_t length) {
    const std::uint16_t crc = Crc16Modbus(payload, length);
    Frame frame(FRAME_MAGIC, FRAME_MAGIC + 4);
    frame.push_back(0x00);
    frame.push_back(command);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.insert(frame.end(), payload, payload + length);
    return frame;
}

FrameCheck CheckFrame(const std::uint8_t* block, std::size_t n) {
    const FrameCheck rejected{false, 0, nullptr, 0};
    if (n < MIN_FRAME_SIZE) {
        return rejected;
    }
    // The magic must open the block: a frame is only ever taken whole.
    for (std::size_t k = 0; k < 4; ++k) {
        if (block[k] != FRAME_MAGIC[k]) {
            return rejected;
        }
    }
    const std::uint8_t* payload = block + FRAME_HEADER_SIZE;
    const std::size_t payloadLength = n - FRAME_HEADER_SIZE;
    const std::uint16_t crc = Crc16Modbus(payload, payloadLength);
    if (block[6] != (crc & 0xFF) || block[7] != (crc >> 8)) {
        return rejected;
    }
    return FrameCheck{true, block[5], payload, payloadLength};
}
