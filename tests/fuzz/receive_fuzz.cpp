// Arbitrary bytes from the line, cut into arbitrary pieces, through the
// receive buffer and its check, and through the decoder directly. Built with
// AddressSanitizer and UndefinedBehaviorSanitizer, any read past a buffer or
// any undefined arithmetic is a finding.
//
// Input layout: a sequence of records, each one control byte followed by
// data. The control byte's low six bits give the length of the piece to
// append; its top bits choose what follows: a check, ten poll ticks, a
// counter reset, or nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frame.h"
#include "receive_buffer.h"
#include "settings_payload.h"

namespace {

void CheckSettings(const DeviceSettings& s) {
    // The version text never holds a zero byte and never outgrows the
    // largest payload the buffer can hold.
    if (s.versionText.size() > RECEIVE_BUFFER_SIZE - FRAME_HEADER_SIZE - QUERY_REPLY_MIN_PAYLOAD ||
        std::memchr(s.versionText.data(), 0, s.versionText.size()) != nullptr) {
        std::abort();
    }
}

void Acknowledged() {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SetReceiveHandlers({CheckSettings, Acknowledged});

    // The decoder and the frame test on the raw input, exactly sized so that
    // ASan sees any over-read.
    if (size > 0) {
        std::uint8_t* exact = static_cast<std::uint8_t*>(std::malloc(size));
        std::memcpy(exact, data, size);
        const FrameCheck check = CheckFrame(exact, size);
        if (check.accepted && (check.payload != exact + 8 || check.payloadLength != size - 8)) {
            std::abort();
        }
        if (auto settings = DecodeQueryReply(exact, size)) {
            const std::string& text = settings->versionText;
            if (size < QUERY_REPLY_MIN_PAYLOAD || text.size() > size - QUERY_REPLY_MIN_PAYLOAD ||
                std::memcmp(text.data(), exact + QUERY_REPLY_MIN_PAYLOAD, text.size()) != 0) {
                std::abort();
            }
        } else if (size >= QUERY_REPLY_MIN_PAYLOAD) {
            std::abort();
        }
        std::free(exact);
    }

    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t control = data[at++];
        std::size_t piece = control & 0x3F;
        if (piece > size - at)
            piece = size - at;
        AppendReceived(data + at, piece);
        at += piece;
        if (ReceivedByteCount() > RECEIVE_BUFFER_SIZE)
            std::abort();
        switch (control >> 6) {
            case 0:
                break;
            case 1:
                CheckReceived();
                if (ReceivedByteCount() != 0)
                    std::abort();
                break;
            case 2:
                for (unsigned k = 0; k < POLL_TICKS_PER_CHECK; ++k)
                    OnPollTick();
                break;
            default:
                ResetPollCount();
                break;
        }
    }
    CheckReceived();
    return 0;
}
