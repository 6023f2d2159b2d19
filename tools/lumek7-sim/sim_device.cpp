#include "sim_device.h"

#include <cstdio>
#include <cstring>

namespace {

const std::uint8_t MAGIC[4] = {'L', 'M', 'K', 'Q'};
constexpr std::size_t HEADER = 8;

void PutLe32(Bytes* out, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        out->push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

std::uint32_t GetLe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

}  // namespace

// Bitwise CRC-16/MODBUS: the device's own way, not the utility's tables.
std::uint16_t SimCrc16(const std::uint8_t* bytes, std::size_t length) {
    unsigned crc = 0xFFFF;
    for (std::size_t k = 0; k < length; ++k) {
        crc ^= bytes[k];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return static_cast<std::uint16_t>(crc);
}

Bytes SimFrame(std::uint8_t command, const Bytes& payload) {
    const std::uint16_t crc = SimCrc16(payload.data(), payload.size());
    Bytes frame(MAGIC, MAGIC + 4);
    frame.push_back(0x00);
    frame.push_back(command);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

Bytes QueryReplyFrame(const SimSettings& s) {
    Bytes payload{0x00, 0x00, s.selection[0], s.selection[1], s.selection[2]};
    PutLe32(&payload, s.ipAddress);
    PutLe32(&payload, s.subnetMask);
    PutLe32(&payload, s.gateway);
    payload.insert(payload.end(), s.versionText.begin(), s.versionText.end());
    payload.push_back(0x00);
    payload[1] = static_cast<std::uint8_t>(payload.size() - 2);
    return SimFrame(0x02, payload);
}

Bytes SetReplyFrame() {
    return SimFrame(0x04, Bytes{0x00, 0x00});
}

void FrameParser::Feed(const std::uint8_t* bytes, std::size_t n) {
    pending_.insert(pending_.end(), bytes, bytes + n);
}

bool FrameParser::Next(ParseEvent* event) {
    if (pending_.empty())
        return false;
    // Anything before the next magic is garbage. A magic cut short at the
    // end of what we have may still complete.
    std::size_t start = 0;
    while (start < pending_.size()) {
        const std::size_t have = std::min<std::size_t>(4, pending_.size() - start);
        if (std::memcmp(&pending_[start], MAGIC, have) == 0)
            break;
        ++start;
    }
    if (start > 0) {
        *event = {ParseEvent::GARBAGE, Bytes(pending_.begin(), pending_.begin() + start)};
        pending_.erase(pending_.begin(), pending_.begin() + start);
        return true;
    }
    if (pending_.size() < HEADER + 2)
        return false;
    const std::size_t total = HEADER + 2 + pending_[HEADER + 1];
    if (pending_.size() < total)
        return false;
    Bytes frame(pending_.begin(), pending_.begin() + total);
    pending_.erase(pending_.begin(), pending_.begin() + total);
    const std::uint16_t crc = SimCrc16(frame.data() + HEADER, total - HEADER);
    const bool good = frame[6] == (crc & 0xFF) && frame[7] == (crc >> 8);
    *event = {good ? ParseEvent::FRAME : ParseEvent::BAD_CHECKSUM, std::move(frame)};
    return true;
}

bool FrameParser::DropIncomplete(ParseEvent* event) {
    if (pending_.empty())
        return false;
    *event = {ParseEvent::INCOMPLETE, pending_};
    pending_.clear();
    return true;
}

Bytes HandleFrame(const Bytes& frame, SimSettings* settings, std::string* note) {
    const std::uint8_t command = frame[5];
    const std::uint8_t* payload = frame.data() + HEADER;
    const std::size_t length = frame.size() - HEADER;
    switch (command) {
        case 0x01:
            *note = "query";
            return QueryReplyFrame(*settings);
        case 0x03:
            if (length != 17) {
                *note = "set request of the wrong length " + std::to_string(length) + ", ignored";
                return Bytes();
            }
            settings->selection[0] = payload[2];
            settings->selection[1] = payload[3];
            settings->selection[2] = payload[4];
            settings->ipAddress = GetLe32(payload + 5);
            settings->subnetMask = GetLe32(payload + 9);
            settings->gateway = GetLe32(payload + 13);
            *note = "set: selection " + std::to_string(payload[2]) + " " +
                    std::to_string(payload[3]) + " " + std::to_string(payload[4]) + ", ip " +
                    FormatIpv4(settings->ipAddress) + ", mask " + FormatIpv4(settings->subnetMask) +
                    ", gateway " + FormatIpv4(settings->gateway);
            return SetReplyFrame();
        default:
            *note = "command " + std::to_string(command) + " not known, ignored";
            return Bytes();
    }
}

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
    std::string out;
    char cell[4];
    for (std::size_t k = 0; k < n; ++k) {
        std::snprintf(cell, sizeof cell, k ? " %02X" : "%02X", bytes[k]);
        out += cell;
    }
    return out;
}

std::string FormatIpv4(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF,
                  v & 0xFF);
    return text;
}

bool ParseIpv4(const std::string& text, std::uint32_t* value) {
    unsigned a, b, c, d;
    char tail;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4 || a > 255 ||
        b > 255 || c > 255 || d > 255) {
        return false;
    }
    *value = a << 24 | b << 16 | c << 8 | d;
    return true;
}
