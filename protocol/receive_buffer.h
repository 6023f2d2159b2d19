// The buffer between the reader thread, which appends whatever the port
// delivers, and the UI thread, which on every tenth 10 ms poll tick takes
// the whole content as one block, tests it as a frame and empties it.
//
// Threads: AppendReceived runs on the reader thread; ResetPollCount,
// OnPollTick and CheckReceived run on the UI thread, which alone owns the
// poll counter. The receive lock guards the buffer's bytes and count and is
// held for the whole body of an append or a check, never while a handler
// runs: the set-acknowledged handler shows a modal box, during which the
// reader must go on appending and the timer goes on ticking.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings_payload.h"

constexpr std::size_t RECEIVE_BUFFER_SIZE = 512;
constexpr unsigned POLL_TICKS_PER_CHECK = 10;

struct ReceiveBuffer {
    std::uint8_t data[RECEIVE_BUFFER_SIZE];
    std::size_t count;  // valid bytes in data, from index 0
};

// What the dialog does with an accepted frame; either may be null.
struct ReceiveHandlers {
    void (*settingsReceived)(const DeviceSettings& settings);
    void (*setAcknowledged)();
};

void SetReceiveHandlers(const ReceiveHandlers& handlers);

// Reader thread: adds k bytes; those that find no room are dropped.
void AppendReceived(const std::uint8_t* bytes, std::size_t k);

// UI thread.
void ResetPollCount();
void OnPollTick();
void CheckReceived();

// The number of bytes waiting for the next check.
std::size_t ReceivedByteCount();
