// One thread appends while another checks, as the reader and UI threads do.
// Built with ThreadSanitizer it proves the receive lock covers every access;
// in every build it proves that no accepted frame is ever torn.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "frame.h"
#include "receive_buffer.h"

namespace {

std::atomic<int> received{0};
std::atomic<int> wrongSettings{0};

void CountSettings(const DeviceSettings& s) {
    ++received;
    if (s.ipAddress != 0x0A000001u || s.versionText != "threads")
        ++wrongSettings;
}

TEST(ReceiveConcurrency, AppendWhileChecking) {
    SetReceiveHandlers({nullptr, nullptr});
    CheckReceived();
    SetReceiveHandlers({CountSettings, nullptr});

    std::vector<std::uint8_t> payload{0x00, 0x00, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x0A,
                                      0x00, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x0A};
    for (char c : std::string("threads"))
        payload.push_back(static_cast<std::uint8_t>(c));
    payload.push_back(0);
    const Frame reply = ComposeFrame(CMD_QUERY_REPLY, payload.data(), payload.size());

    // Both threads start together, and the checker keeps checking until the
    // appender is done, so that the two overlap whatever the scheduling.
    std::atomic<bool> go{false};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!go)
            std::this_thread::yield();
        for (int round = 0; round < 20000; ++round) {
            // Whole frames and pieces of frames, as a port delivers them.
            const std::size_t cut = static_cast<std::size_t>(round) % reply.size();
            AppendReceived(reply.data(), cut);
            AppendReceived(reply.data() + cut, reply.size() - cut);
        }
        done = true;
    });
    go = true;
    do {
        OnPollTick();
        CheckReceived();
    } while (!done);
    reader.join();
    CheckReceived();
    SetReceiveHandlers({nullptr, nullptr});

    EXPECT_EQ(wrongSettings.load(), 0);
    EXPECT_EQ(ReceivedByteCount(), 0u);
}

}  // namespace
