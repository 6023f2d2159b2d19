// The simulated LUMEK-7: its settings, how it reassembles frames from the
// bytes it receives, and the replies it builds. Independent of the
// utility's own protocol code on purpose, so that a fault there shows up as
// a disagreement on the line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

struct SimSettings {
    std::uint8_t selection[3] = {4, 4, 4};
    std::uint32_t ipAddress = 0xC0A801C3;   // 192.168.1.195
    std::uint32_t subnetMask = 0xFFFFFF00;  // 255.255.255.0
    std::uint32_t gateway = 0xC0A80101;     // 192.168.1.1
    std::string versionText = "LUMEK-7 V2.04";
};

std::uint16_t SimCrc16(const std::uint8_t* bytes, std::size_t length);
Bytes SimFrame(std::uint8_t command, const Bytes& payload);
Bytes QueryReplyFrame(const SimSettings& settings);
Bytes SetReplyFrame();

// What the parser made of the bytes it was given.
struct ParseEvent {
    enum Kind { FRAME, BAD_CHECKSUM, GARBAGE, INCOMPLETE } kind;
    Bytes bytes;
};

// Reassembles frames from a byte stream that arrives in pieces. Every frame
// we expect carries its payload length after the header (00, n), so a frame
// is 10 + n bytes. Bytes before a magic are garbage; a frame that stays
// incomplete past the caller's time-out is dropped.
class FrameParser {
  public:
    void Feed(const std::uint8_t* bytes, std::size_t n);
    // Takes the next complete result, if any.
    bool Next(ParseEvent* event);
    // Drops a pending partial frame (the caller's time-out ran out).
    bool DropIncomplete(ParseEvent* event);
    bool HasPartial() const { return !pending_.empty(); }

  private:
    Bytes pending_;
};

// Applies a received frame to the device. Returns the reply to send, empty
// when the frame asks for none.
Bytes HandleFrame(const Bytes& frame, SimSettings* settings, std::string* note);

std::string Hex(const std::uint8_t* bytes, std::size_t n);
std::string FormatIpv4(std::uint32_t value);
bool ParseIpv4(const std::string& text, std::uint32_t* value);
