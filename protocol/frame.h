// Frames exchanged with the LUMEK-7 device: layout, command codes and the
// CRC-16/MODBUS checksum over the payload.
//
// A frame is an 8-byte header followed by the payload:
//   0..3  magic "LMKQ"
//   4     reserved, 00 in what we send, never looked at in what we receive
//   5     command code
//   6, 7  checksum of the payload, low byte then high byte
//   8..   payload; the header carries no length, so a frame ends where the
//         bytes collected for it end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using Frame = std::vector<std::uint8_t>;

enum : std::uint8_t {
    CMD_QUERY = 0x01,
    CMD_QUERY_REPLY = 0x02,
    CMD_SET = 0x03,
    CMD_SET_REPLY = 0x04,
};

constexpr std::size_t FRAME_HEADER_SIZE = 8;
// A header and the two leading payload bytes: nothing shorter is a frame.
constexpr std::size_t MIN_FRAME_SIZE = 10;
constexpr std::uint8_t FRAME_MAGIC[4] = {0x4C, 0x4D, 0x4B, 0x51};  // "LMKQ"

// The query never changes, so it is held complete with its checksum.
constexpr std::size_t QUERY_FRAME_SIZE = 10;
extern const std::uint8_t QUERY_FRAME[QUERY_FRAME_SIZE];

std::uint16_t Crc16Modbus(const std::uint8_t* bytes, std::size_t length);

Frame ComposeFrame(std::uint8_t command, const std::uint8_t* payload, std::size_t length);

// The result of testing a block of received bytes as one frame. On
// acceptance, payload points into the block that was tested.
struct FrameCheck {
    bool accepted;
    std::uint8_t command;
    const std::uint8_t* payload;
    std::size_t payloadLength;
};

FrameCheck CheckFrame(const std::uint8_t* block, std::size_t n);
