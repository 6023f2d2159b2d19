#include "receive_buffer.h"

#include <gtest/gtest.h>

#include <vector>

#include "frame.h"
#include "settings_payload.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Records what the checks hand to the dialog's two handlers.
struct Seen {
    std::vector<DeviceSettings> settings;
    int acknowledgements = 0;
};
Seen seen;

void RecordSettings(const DeviceSettings& s) {
    seen.settings.push_back(s);
}
void RecordAcknowledged() {
    ++seen.acknowledgements;
}

class ReceiveBufferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetReceiveHandlers({nullptr, nullptr});
        CheckReceived();  // empty whatever an earlier test left
        ResetPollCount();
        seen = Seen();
        SetReceiveHandlers({RecordSettings, RecordAcknowledged});
    }
    void TearDown() override { SetReceiveHandlers({nullptr, nullptr}); }

    static void Append(const Bytes& b) { AppendReceived(b.data(), b.size()); }
    static void Ticks(int n) {
        for (int k = 0; k < n; ++k)
            OnPollTick();
    }
};

Bytes QueryReply(std::uint8_t rate, const char* version) {
    Bytes payload{0x00, 0x00, 0x00, rate, 0x00, 0xC3, 0x01, 0xA8, 0xC0,
                  0x00, 0xFF, 0xFF, 0xFF, 0x01, 0x01, 0xA8, 0xC0};
    for (const char* p = version; *p; ++p)
        payload.push_back(static_cast<std::uint8_t>(*p));
    payload.push_back(0);
    payload[1] = static_cast<std::uint8_t>(payload.size() - 2);
    return ComposeFrame(CMD_QUERY_REPLY, payload.data(), payload.size());
}

Bytes SetReply() {
    const std::uint8_t payload[2] = {0x00, 0x00};
    return ComposeFrame(CMD_SET_REPLY, payload, 2);
}

TEST_F(ReceiveBufferTest, QueryReplyReachesSettingsHandler) {
    Append(QueryReply(3, "LMK7-2.04"));
    CheckReceived();
    ASSERT_EQ(seen.settings.size(), 1u);
    EXPECT_EQ(seen.settings[0].selection[1], 3);
    EXPECT_EQ(seen.settings[0].ipAddress, 0xC0A801C3u);
    EXPECT_EQ(seen.settings[0].versionText, "LMK7-2.04");
    EXPECT_EQ(seen.acknowledgements, 0);
    EXPECT_EQ(ReceivedByteCount(), 0u);
}

TEST_F(ReceiveBufferTest, SetReplyReachesAcknowledgedHandler) {
    Append(SetReply());
    CheckReceived();
    EXPECT_EQ(seen.acknowledgements, 1);
    EXPECT_TRUE(seen.settings.empty());
}

// Whatever the block holds, a check consumes all of it and calls a handler
// only for a whole, lone, well-formed reply.
TEST_F(ReceiveBufferTest, BlocksThatCallNoHandlerAreStillConsumed) {
    const Bytes reply = QueryReply(1, "V1");
    Bytes twoReplies = reply;
    twoReplies.insert(twoReplies.end(), reply.begin(), reply.end());
    Bytes corrupted = reply;
    corrupted[12] ^= 0xFF;
    Bytes shortReply;  // checksum holds but the fixed fields are incomplete
    {
        const std::uint8_t p[] = {0x00, 0x05, 0x01, 0x01, 0x01, 0xC3, 0x01};
        shortReply = ComposeFrame(CMD_QUERY_REPLY, p, sizeof p);
    }
    const std::uint8_t qp[2] = {0, 0};
    const Bytes otherCommand = ComposeFrame(0x07, qp, 2);
    const Bytes query(QUERY_FRAME, QUERY_FRAME + QUERY_FRAME_SIZE);
    const Bytes garbage{0x00, 0x4C, 0x4D, 0x4B, 0x51, 0x00, 0x02};

    const Bytes blocks[] = {twoReplies, corrupted, shortReply, otherCommand, query, garbage, {}};
    for (const Bytes& block : blocks) {
        Append(block);
        CheckReceived();
        EXPECT_EQ(ReceivedByteCount(), 0u);
    }
    EXPECT_TRUE(seen.settings.empty());
    EXPECT_EQ(seen.acknowledgements, 0);
}

TEST_F(ReceiveBufferTest, KeepsAtMost512BytesBetweenChecks) {
    Bytes first(300, 0xA1);
    Bytes second(300, 0xB2);
    Append(first);
    Append(second);
    EXPECT_EQ(ReceivedByteCount(), RECEIVE_BUFFER_SIZE);
    Append(Bytes(10, 0xC3));
    EXPECT_EQ(ReceivedByteCount(), RECEIVE_BUFFER_SIZE);
    CheckReceived();
    EXPECT_EQ(ReceivedByteCount(), 0u);

    // A reply that fills the buffer exactly is still whole; one byte more
    // and it is cut, so its checksum fails.
    std::string version(512 - 8 - 17 - 1, 'v');
    Append(QueryReply(0, version.c_str()));
    EXPECT_EQ(ReceivedByteCount(), 512u);
    CheckReceived();
    ASSERT_EQ(seen.settings.size(), 1u);
    EXPECT_EQ(seen.settings[0].versionText, version);

    version.push_back('w');
    Append(QueryReply(0, version.c_str()));
    CheckReceived();
    EXPECT_EQ(seen.settings.size(), 1u);
}

TEST_F(ReceiveBufferTest, FrameSplitAcrossACheckIsLost) {
    const Bytes reply = SetReply();
    const std::uint8_t* setRequest = PrepareSetRequest(4, 1, 2, 3);
    const Bytes request(setRequest, setRequest + SET_REQUEST_SIZE);
    for (const Bytes& frame : {reply, request, QueryReply(2, "X")}) {
        AppendReceived(frame.data(), 5);
        CheckReceived();
        AppendReceived(frame.data() + 5, frame.size() - 5);
        CheckReceived();
        EXPECT_EQ(ReceivedByteCount(), 0u);
    }
    EXPECT_TRUE(seen.settings.empty());
    EXPECT_EQ(seen.acknowledgements, 0);
}

TEST_F(ReceiveBufferTest, FrameAppendedInPiecesBetweenChecksIsWhole) {
    const Bytes reply = QueryReply(4, "pieces");
    for (std::size_t k = 0; k < reply.size(); ++k)
        AppendReceived(&reply[k], 1);
    CheckReceived();
    ASSERT_EQ(seen.settings.size(), 1u);
    EXPECT_EQ(seen.settings[0].versionText, "pieces");
}

TEST_F(ReceiveBufferTest, TenthTickChecks) {
    Append(SetReply());
    Ticks(9);
    EXPECT_EQ(seen.acknowledgements, 0);
    EXPECT_NE(ReceivedByteCount(), 0u);
    Ticks(1);
    EXPECT_EQ(seen.acknowledgements, 1);
    EXPECT_EQ(ReceivedByteCount(), 0u);

    // And every tenth tick after that.
    Append(SetReply());
    Ticks(9);
    EXPECT_EQ(seen.acknowledgements, 1);
    Ticks(1);
    EXPECT_EQ(seen.acknowledgements, 2);
}

TEST_F(ReceiveBufferTest, ResetPollCountRestartsTheTenTicks) {
    Append(SetReply());
    Ticks(5);
    ResetPollCount();
    Ticks(9);
    EXPECT_EQ(seen.acknowledgements, 0);
    Ticks(1);
    EXPECT_EQ(seen.acknowledgements, 1);

    // Two resets within one interval: the check follows the second.
    Append(SetReply());
    Ticks(4);
    ResetPollCount();
    Ticks(3);
    ResetPollCount();
    Ticks(9);
    EXPECT_EQ(seen.acknowledgements, 1);
    Ticks(1);
    EXPECT_EQ(seen.acknowledgements, 2);
}

// The handlers run with the lock released: the reader must be able to
// append while a handler (a modal box) is open, and the timer may tick into
// a further check from inside it.
bool appendedInsideHandler = false;
void AppendAndCheckAgain() {
    ++seen.acknowledgements;
    EXPECT_EQ(ReceivedByteCount(), 0u);
    if (seen.acknowledgements == 1) {
        const Bytes again = SetReply();
        AppendReceived(again.data(), again.size());
        appendedInsideHandler = true;
        for (unsigned k = 0; k < POLL_TICKS_PER_CHECK; ++k)
            OnPollTick();
    }
}

TEST_F(ReceiveBufferTest, HandlerMayAppendAndCheckAgain) {
    SetReceiveHandlers({RecordSettings, AppendAndCheckAgain});
    Append(SetReply());
    Ticks(10);
    EXPECT_TRUE(appendedInsideHandler);
    EXPECT_EQ(seen.acknowledgements, 2);
    EXPECT_EQ(ReceivedByteCount(), 0u);
}

}  // namespace
