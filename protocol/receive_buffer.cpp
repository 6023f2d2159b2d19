#include "receive_buffer.h"

#include <cstring>
#include <mutex>
#include <optional>

#include "frame.h"

namespace {

// Created on first use, by whichever of the append and the check comes
// first, and never destroyed: the reader thread runs until the process ends
// and may still append while the exit code runs the static destructors.
std::mutex& ReceiveLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}
ReceiveBuffer receiveBuffer;  // guarded by ReceiveLock()

unsigned pollCount;        // UI thread only: 0 to 9 between ticks
ReceiveHandlers handlers;  // UI thread only

}  // namespace

void SetReceiveHandlers(const ReceiveHandlers& newHandlers) {
    handlers = newHandlers;
}

void AppendReceived(const std::uint8_t* bytes, std::size_t k) {
    std::lock_guard<std::mutex> hold(ReceiveLock());
    const std::size_t room = RECEIVE_BUFFER_SIZE - receiveBuffer.count;
    const std::size_t taken = k < room ? k : room;
    if (taken > 0) {
        std::memcpy(receiveBuffer.data + receiveBuffer.count, bytes, taken);
        receiveBuffer.count += taken;
    }
}

void ResetPollCount() {
    pollCount = 0;
}

void OnPollTick() {
    if (++pollCount >= POLL_TICKS_PER_CHECK) {
        pollCount = 0;
        CheckReceived();
    }
}

void CheckReceived() {
    std::uint8_t command = 0;
    std::optional<DeviceSettings> settings;
    {
        std::lock_guard<std::mutex> hold(ReceiveLock());
        const FrameCheck check = CheckFrame(receiveBuffer.data, receiveBuffer.count);
        if (check.accepted) {
            command = check.command;
            if (command == CMD_QUERY_REPLY) {
                settings = DecodeQueryReply(check.payload, check.payloadLength);
            }
        }
        // The whole content is consumed at every check, frame or not.
        receiveBuffer.count = 0;
    }
    if (command == CMD_QUERY_REPLY && settings && handlers.settingsReceived) {
        handlers.settingsReceived(*settings);
    } else if (command == CMD_SET_REPLY && handlers.setAcknowledged) {
        handlers.setAcknowledged();
    }
}

std::size_t ReceivedByteCount() {
    std::lock_guard<std::mutex> hold(ReceiveLock());
    return receiveBuffer.count;
}
