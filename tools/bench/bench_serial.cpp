// Serial link figures on the test line's null-modem pair (COM5 <-> COM6):
// the reader thread's wake-up latency, its idle CPU cost, and the cost of
// opening and closing the port.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "bench_common.h"
#include "frame.h"
#include "reader_thread.h"
#include "receive_buffer.h"
#include "serial_port.h"

namespace {

constexpr char NEAR_PORT[] = "\\\\.\\COM5";
constexpr char FAR_PORT[] = "\\\\.\\COM6";

HANDLE OpenFarEnd() {
    HANDLE far_end =
        CreateFileA(FAR_PORT, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (far_end != INVALID_HANDLE_VALUE) {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(far_end, &dcb);
        dcb.BaudRate = CBR_115200;
        SetCommState(far_end, &dcb);
    }
    return far_end;
}

void ReplyLatency(HANDLE remote) {
    const std::uint8_t payload[] = {0x00, 0x1D, 0x04, 0x04, 0x04, 0xC3, 0x01, 0xA8,
                                    0xC0, 0x00, 0xFF, 0xFF, 0xFF, 0x01, 0x01, 0xA8,
                                    0xC0, 'L',  'U',  'M',  'E',  'K',  '-',  '7',
                                    ' ',  'V',  '2',  '.',  '0',  '4',  0x00};
    const Frame reply = ComposeFrame(CMD_QUERY_REPLY, payload, sizeof payload);
    OpenPort(NEAR_PORT);
    Sleep(50);
    std::vector<double> latencies;
    for (int k = 0; k < 100; ++k) {
        CheckReceived();
        const double start = NowMs();
        DWORD written = 0;
        WriteFile(remote, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
        while (ReceivedByteCount() < reply.size() && NowMs() - start < 2000) {
            // Spin: a sleep here would measure the sleep.
        }
        latencies.push_back(NowMs() - start);
        Sleep(5);
    }
    ClosePort();
    CheckReceived();
    std::printf(
        "reply written at the far end to bytes in the receive buffer (100 replies of %zu bytes):\n"
        "  median %.2f ms, worst %.2f ms\n",
        reply.size(), Median(latencies), Worst(latencies));
}

void IdleCpu() {
    HANDLE reader = ReaderThreadHandle();
    double before = ThreadCpuMs(reader);
    Sleep(10000);
    const double closedCpu = ThreadCpuMs(reader) - before;
    OpenPort(NEAR_PORT);
    before = ThreadCpuMs(reader);
    Sleep(10000);
    const double openCpu = ThreadCpuMs(reader) - before;
    ClosePort();
    std::printf(
        "reader thread CPU time over 10 s:\n"
        "  no port open %.1f ms, port open and silent %.1f ms\n",
        closedCpu, openCpu);
}

void Enumeration() {
    const double start = NowMs();
    const std::uint32_t mask = EnumeratePorts();
    std::printf("enumerating COM1 to COM32: %.1f ms (mask %08X)\n", NowMs() - start,
                static_cast<unsigned>(mask));
}

void OpenCloseCycles() {
    const double start = NowMs();
    for (int k = 0; k < 100; ++k) {
        OpenPort(NEAR_PORT);
        ClosePort();
    }
    std::printf("100 open/close cycles: %.0f ms (%.2f ms each)\n", NowMs() - start,
                (NowMs() - start) / 100);
}

}  // namespace

int main() {
    StartReaderThread();
    HANDLE remote = OpenFarEnd();
    if (remote == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "bench-serial: cannot open %s; is the test line up?\n", FAR_PORT);
        return 1;
    }
    Enumeration();
    ReplyLatency(remote);
    OpenCloseCycles();
    IdleCpu();
    CloseHandle(remote);
    return 0;
}
