// The device's settings as they travel in the payload of a query reply and
// of a set request.
//
// Payload offsets:
//   0      00
//   1      number of payload bytes after this one (0F in a set request)
//   2..4   three selection bytes; we show and edit only the middle one, as
//          the rate index, and write that index into all three
//   5..8   IPv4 address    } each least significant byte first, so a.b.c.d
//   9..12  subnet mask     } travels as d c b a, the reverse of network
//   13..16 default gateway } byte order
//   17..   version text, ended by a zero byte (query reply only)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// a.b.c.d as (a << 24) | (b << 16) | (c << 8) | d.
using Ipv4Value = std::uint32_t;

struct DeviceSettings {
    std::uint8_t selection[3];
    Ipv4Value ipAddress;
    Ipv4Value subnetMask;
    Ipv4Value gateway;
    std::string versionText;  // bytes as the device sent them, shown through the ANSI interface
};

constexpr std::size_t SET_PAYLOAD_SIZE = 17;
// Everything but the version text: a reply shorter than this is not decoded.
constexpr std::size_t QUERY_REPLY_MIN_PAYLOAD = 17;

using SetPayload = std::array<std::uint8_t, SET_PAYLOAD_SIZE>;

// selectionIndex is the rate list's index taken as a byte: no selection (-1)
// goes out as FF.
SetPayload EncodeSetPayload(int selectionIndex, Ipv4Value ipAddress, Ipv4Value subnetMask,
                            Ipv4Value gateway);

// Empty when the payload is too short to hold the fixed fields; the version
// text is never read past the payload's end.
std::optional<DeviceSettings> DecodeQueryReply(const std::uint8_t* payload, std::size_t length);

// The one set-request frame of the run. Its header and first two payload
// bytes never change; each call refills the rest of the payload, recomputes
// the checksum and returns the whole frame, ready to write.
constexpr std::size_t SET_REQUEST_SIZE = 25;
const std::uint8_t* PrepareSetRequest(int selectionIndex, Ipv4Value ipAddress, Ipv4Value subnetMask,
                                      Ipv4Value gateway);
