// The serial link under Wine on a real pty line. The reader thread is the
// product's own, started once for the whole suite as the dialog does.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "frame.h"
#include "reader_thread.h"
#include "receive_buffer.h"
#include "serial_port.h"
#include "test_line.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

HANDLE Port() {
    return ThePortSession().handle.load();
}

class SerialTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(StartReaderThread()); }
    void SetUp() override {
        ClosePort();
        SetReceiveHandlers({nullptr, nullptr});
        CheckReceived();
    }
    void TearDown() override {
        ClosePort();
        SetReadObserver(nullptr);
        CheckReceived();
    }
    // Waits until the receive buffer holds at least n bytes.
    static bool WaitForBytes(std::size_t n, DWORD ms) {
        const double end = NowMs() + ms;
        while (ReceivedByteCount() < n) {
            if (NowMs() > end)
                return false;
            Sleep(1);
        }
        return true;
    }
};

TEST_F(SerialTest, EnumerationFindsExactlyTheMappedPorts) {
    // COM33 is mapped in the prefix and must not be found; so is the
    // machine's own ttyS0, which Wine maps beyond COM32.
    EXPECT_EQ(EnumeratePorts(), MAPPED_PORTS);
}

TEST_F(SerialTest, OpenLeavesTheLineAt115200_8N1) {
    ASSERT_TRUE(OpenPort(NEAR_PORT));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(Port(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);

    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(GetCommTimeouts(Port(), &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 500u);

    DWORD mask = 0;
    ASSERT_TRUE(GetCommMask(Port(), &mask));
    EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR));
}

TEST_F(SerialTest, OpenReleasesAnOpenPortFirstWhetherOrNotTheNewOneOpens) {
    ASSERT_TRUE(OpenPort(NEAR_PORT));
    const HANDLE first = Port();
    EXPECT_FALSE(OpenPort("\\\\.\\COM9"));  // disabled in the prefix
    EXPECT_EQ(Port(), INVALID_HANDLE_VALUE);
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(first, &flags)) << "the first port was left open";

    ASSERT_TRUE(OpenPort(NEAR_PORT));
    const HANDLE second = Port();
    ASSERT_TRUE(OpenPort(FAR_PORT));
    EXPECT_NE(Port(), INVALID_HANDLE_VALUE);
    // COM5 is free again: it opens alongside COM6.
    HANDLE again =
        CreateFileA(NEAR_PORT, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    if (again != INVALID_HANDLE_VALUE)
        CloseHandle(again);
    (void)second;
}

TEST_F(SerialTest, OpenFailsOnMissingPortsAndTheBarePrefix) {
    for (const char* path : {"\\\\.\\COM9", "\\\\.\\COM33x", "\\\\.\\", "\\\\.\\COM0"}) {
        EXPECT_FALSE(OpenPort(path)) << path;
        EXPECT_EQ(Port(), INVALID_HANDLE_VALUE) << path;
    }
}

TEST_F(SerialTest, WriteWithNoOpenPortDoesNothing) {
    FarEnd remote;
    ASSERT_TRUE(remote.Ok());
    const std::uint64_t calls = ReaderPortCalls();
    WritePort(QUERY_FRAME, QUERY_FRAME_SIZE);
    EXPECT_TRUE(remote.Read(1, 100).empty());
    EXPECT_EQ(ReaderPortCalls(), calls);
}

TEST_F(SerialTest, QueryArrivesByteForByteAtTheFarEnd) {
    FarEnd remote;
    ASSERT_TRUE(remote.Ok());
    ASSERT_TRUE(OpenPort(NEAR_PORT));
    WritePort(QUERY_FRAME, QUERY_FRAME_SIZE);
    EXPECT_EQ(remote.Read(QUERY_FRAME_SIZE + 1, 500),
              Bytes(QUERY_FRAME, QUERY_FRAME + QUERY_FRAME_SIZE));
}

TEST_F(SerialTest, ReplyFromTheFarEndReachesTheReceiveBuffer) {
    FarEnd remote;
    ASSERT_TRUE(remote.Ok());
    ASSERT_TRUE(OpenPort(NEAR_PORT));
    const std::uint8_t payload[] = {0x00, 0x00};
    remote.Write(ComposeFrame(CMD_SET_REPLY, payload, 2));
    ASSERT_TRUE(WaitForBytes(10, 2000));

    static int acknowledged;
    acknowledged = 0;
    SetReceiveHandlers({nullptr, [] { ++acknowledged; }});
    CheckReceived();
    EXPECT_EQ(acknowledged, 1);
}

std::atomic<std::size_t> largestRead{0};
std::atomic<std::size_t> totalRead{0};
void ObserveRead(std::size_t got) {
    totalRead += got;
    std::size_t seen = largestRead.load();
    while (got > seen && !largestRead.compare_exchange_weak(seen, got)) {
    }
}

TEST_F(SerialTest, BurstIsReadInPiecesOfAtMost1024AndTheBufferKeeps512) {
    FarEnd remote;
    ASSERT_TRUE(remote.Ok());
    ASSERT_TRUE(OpenPort(NEAR_PORT));
    largestRead = 0;
    totalRead = 0;
    SetReadObserver(ObserveRead);
    Bytes burst(3000);
    for (std::size_t k = 0; k < burst.size(); ++k)
        burst[k] = static_cast<std::uint8_t>(k * 7);
    remote.Write(burst);
    const double end = NowMs() + 3000;
    while (totalRead < burst.size() && NowMs() < end)
        Sleep(5);
    EXPECT_EQ(totalRead.load(), burst.size());
    EXPECT_GT(largestRead.load(), 0u);
    EXPECT_LE(largestRead.load(), 1024u);
    EXPECT_EQ(ReceivedByteCount(), RECEIVE_BUFFER_SIZE);
}

TEST_F(SerialTest, CloseWhileTheReaderWaitsIsPromptAndALaterOpenReadsAgain) {
    FarEnd remote;
    ASSERT_TRUE(remote.Ok());
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(OpenPort(NEAR_PORT));
        Sleep(50);  // the reader is now blocked in its wait on a silent line
        const double start = NowMs();
        ClosePort();
        EXPECT_LT(NowMs() - start, 500.0) << "round " << round;
        EXPECT_EQ(Port(), INVALID_HANDLE_VALUE);
    }
    CheckReceived();
    ASSERT_TRUE(OpenPort(NEAR_PORT));
    remote.Write(Bytes{1, 2, 3, 4, 5});
    EXPECT_TRUE(WaitForBytes(5, 2000));
}

// Only a check empties the receive buffer: bytes that came in after the last
// check are still there after a close and a reopen.
TEST_F(SerialTest, CloseAndReopenKeepUncheckedBytes) {
    FarEnd remote;
    ASSERT_TRUE(remote.Ok());
    ASSERT_TRUE(OpenPort(NEAR_PORT));
    remote.Write(Bytes{0xAB, 0xCD, 0xEF});
    ASSERT_TRUE(WaitForBytes(3, 2000));
    ClosePort();
    EXPECT_EQ(ReceivedByteCount(), 3u);
    ASSERT_TRUE(OpenPort(NEAR_PORT));
    EXPECT_EQ(ReceivedByteCount(), 3u);
    CheckReceived();
    EXPECT_EQ(ReceivedByteCount(), 0u);
}

TEST_F(SerialTest, IdleReaderMakesNoPortCall) {
    ASSERT_TRUE(OpenPort(NEAR_PORT));
    Sleep(20);
    ClosePort();
    const std::uint64_t before = ReaderPortCalls();
    Sleep(200);
    EXPECT_EQ(ReaderPortCalls(), before);
}

// Open and close many times while the remote end streams bytes, so that the
// close lands with the reader in every part of its turn.
TEST_F(SerialTest, ManyOpenCloseCyclesWhileTheFarEndStreams) {
    FarEnd remote;
    ASSERT_TRUE(remote.Ok());
    std::atomic<bool> stop{false};
    std::thread streamer([&] {
        const Bytes chunk(37, 0x5A);
        while (!stop) {
            remote.Write(chunk);
            Sleep(1);
        }
    });
    // Warm up, so that handles created once (the thread, caches) are counted.
    for (int k = 0; k < 5; ++k) {
        ASSERT_TRUE(OpenPort(NEAR_PORT));
        ClosePort();
    }
    DWORD before = 0, after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &before);
    const double start = NowMs();
    int opened = 0;
    for (int k = 0; k < 300; ++k) {
        if (OpenPort(NEAR_PORT))
            ++opened;
        if (k % 3 == 0)
            Sleep(1);
        if (k % 2 == 0)
            WritePort(QUERY_FRAME, QUERY_FRAME_SIZE);
        ClosePort();
        CheckReceived();
    }
    const double took = NowMs() - start;
    stop = true;
    streamer.join();
    GetProcessHandleCount(GetCurrentProcess(), &after);
    EXPECT_EQ(opened, 300);
    EXPECT_LE(after, before + 2) << "handles before " << before << ", after " << after;
    EXPECT_LT(took, 60000.0);
}

// Under Wine a write to a pty never pends, so a pipe whose other end does
// not read stands in for a stalled line.
TEST_F(SerialTest, StalledWriteIsCancelledAfterAboutASecond) {
    const char pipeName[] = "\\\\.\\pipe\\lumek7-stalled-line";
    HANDLE server = CreateNamedPipeA(pipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_BYTE | PIPE_WAIT, 1, 1, 1, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(OpenPort(pipeName));

    Bytes big(64 * 1024, 0xEE);  // remote beyond what the pipe can hold
    DWORD before = 0, after = 0;
    WritePort(big.data(), static_cast<DWORD>(big.size()));  // warm-up: the first stall
    GetProcessHandleCount(GetCurrentProcess(), &before);
    const double start = NowMs();
    WritePort(big.data(), static_cast<DWORD>(big.size()));
    const double took = NowMs() - start;
    GetProcessHandleCount(GetCurrentProcess(), &after);
    EXPECT_GE(took, 900.0);
    EXPECT_LT(took, 3000.0);
    EXPECT_EQ(after, before) << "the write's event was not released";

    // The cancelled write no longer refers to our bytes: overwrite them and
    // drain the pipe; nothing written after the return may be the new value.
    std::memset(big.data(), 0x11, big.size());
    ClosePort();
    std::uint8_t sink[4096];
    DWORD got = 0;
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool sawNew = false;
    for (int k = 0; k < 64; ++k) {
        if (!ReadFile(server, sink, sizeof sink, &got, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING)
                break;
            if (WaitForSingleObject(ov.hEvent, 50) != WAIT_OBJECT_0) {
                CancelIoEx(server, &ov);
                GetOverlappedResult(server, &ov, &got, TRUE);
                break;
            }
            GetOverlappedResult(server, &ov, &got, FALSE);
        }
        for (DWORD i = 0; i < got; ++i)
            sawNew |= sink[i] == 0x11;
    }
    EXPECT_FALSE(sawNew);
    CloseHandle(ov.hEvent);
    CloseHandle(server);
}

// The step this subsystem completes: the simulated device answers our
// query, the reader thread collects the reply and the tenth poll tick
// decodes the device's settings.
TEST_F(SerialTest, SimulatedDeviceAnswersTheQuery) {
    static std::vector<DeviceSettings> received;
    received.clear();
    SetReceiveHandlers({[](const DeviceSettings& s) { received.push_back(s); }, nullptr});
    ASSERT_TRUE(OpenPort(SIM_PORT));
    ResetPollCount();
    WritePort(QUERY_FRAME, QUERY_FRAME_SIZE);
    int ticks = 0;
    while (received.empty() && ticks < 100) {
        Sleep(10);
        OnPollTick();
        ++ticks;
    }
    ASSERT_EQ(received.size(), 1u) << "no settings after " << ticks << " ticks";
    EXPECT_EQ(ticks % 10, 0);
    EXPECT_EQ(received[0].selection[1], 4);
    EXPECT_EQ(received[0].ipAddress, 0xC0A801C3u);
    EXPECT_EQ(received[0].subnetMask, 0xFFFFFF00u);
    EXPECT_EQ(received[0].gateway, 0xC0A80101u);
    EXPECT_EQ(received[0].versionText, "LUMEK-7 V2.04");
}

}  // namespace
