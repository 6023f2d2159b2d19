#include "settings_payload.h"

#include <cstring>

#include "frame.h"

namespace {

void PutIpv4(std::uint8_t* out, Ipv4Value value) {
    for (int k = 0; k < 4; ++k) {
        out[k] = static_cast<std::uint8_t>(value >> (8 * k));
    }
}

Ipv4Value GetIpv4(const std::uint8_t* in) {
    return static_cast<Ipv4Value>(in[0]) | static_cast<Ipv4Value>(in[1]) << 8 |
           static_cast<Ipv4Value>(in[2]) << 16 | static_cast<Ipv4Value>(in[3]) << 24;
}

// Magic, reserved 00, CMD_SET, two checksum bytes, then 00 0F: only the
// checksum and payload bytes 2 to 16 are ever rewritten.
std::uint8_t setRequest[SET_REQUEST_SIZE] = {0x4C,    0x4D, 0x4B, 0x51, 0x00,
                                             CMD_SET, 0x00, 0x00, 0x00, 0x0F};

}  // namespace

SetPayload EncodeSetPayload(int selectionIndex, Ipv4Value ipAddress, Ipv4Value subnetMask,
                            Ipv4Value gateway) {
    SetPayload payload{};
    payload[0] = 0x00;
    payload[1] = SET_PAYLOAD_SIZE - 2;
    const auto selection = static_cast<std::uint8_t>(selectionIndex & 0xFF);
    payload[2] = payload[3] = payload[4] = selection;
    PutIpv4(&payload[5], ipAddress);
    PutIpv4(&payload[9], subnetMask);
    PutIpv4(&payload[13], gateway);
    return payload;
}

std::optional<DeviceSettings> DecodeQueryReply(const std::uint8_t* payload, std::size_t length) {
    if (length < QUERY_REPLY_MIN_PAYLOAD) {
        return std::nullopt;
    }
    DeviceSettings settings{};
    settings.selection[0] = payload[2];
    settings.selection[1] = payload[3];
    settings.selection[2] = payload[4];
    settings.ipAddress = GetIpv4(&payload[5]);
    settings.subnetMask = GetIpv4(&payload[9]);
    settings.gateway = GetIpv4(&payload[13]);
    const std::uint8_t* text = payload + QUERY_REPLY_MIN_PAYLOAD;
    const std::size_t room = length - QUERY_REPLY_MIN_PAYLOAD;
    const void* zero = std::memchr(text, 0, room);
    const std::size_t textLength =
        zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - text) : room;
    settings.versionText.assign(reinterpret_cast<const char*>(text), textLength);
    return settings;
}

const std::uint8_t* PrepareSetRequest(int selectionIndex, Ipv4Value ipAddress, Ipv4Value subnetMask,
                                      Ipv4Value gateway) {
    const SetPayload payload = EncodeSetPayload(selectionIndex, ipAddress, subnetMask, gateway);
    std::uint8_t* body = setRequest + FRAME_HEADER_SIZE;
    std::memcpy(body + 2, payload.data() + 2, SET_PAYLOAD_SIZE - 2);
    const std::uint16_t crc = Crc16Modbus(body, SET_PAYLOAD_SIZE);
    setRequest[6] = static_cast<std::uint8_t>(crc & 0xFF);
    setRequest[7] = static_cast<std::uint8_t>(crc >> 8);
    return setRequest;
}
