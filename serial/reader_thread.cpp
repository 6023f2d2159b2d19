// Threads: this file's loop runs on the reader thread alone. It reads the
// port session's handle at the top of every turn, marks itself busy while
// it uses that handle, and gives the UI thread's ClosePort the port back by
// clearing the mark at the end of the turn. It holds the receive lock only
// inside AppendReceived, never while it waits or reads.
#include "reader_thread.h"

#include <atomic>

#include "receive_buffer.h"
#include "serial_port.h"

namespace {

constexpr DWORD SCRATCH_SIZE = 1024;

HANDLE readerThread;
std::atomic<std::uint64_t> portCalls{0};
std::atomic<void (*)(std::size_t)> readObserver{nullptr};

struct ReaderState {
    HANDLE event;  // manual-reset, for every overlapped call of the thread
    OVERLAPPED overlapped;
    DWORD events;  // written by a pending wait when it completes
    std::uint8_t scratch[SCRATCH_SIZE];
};

// Waits for a character and reads what is queued. Returns the count read,
// or -1 after an error that costs the turn a pause.
long WaitAndRead(HANDLE port, ReaderState* state) {
    ZeroMemory(&state->overlapped, sizeof state->overlapped);
    state->overlapped.hEvent = state->event;

    DWORD got = 0;
    ++portCalls;
    if (!WaitCommEvent(port, &state->events, &state->overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING) {
            return -1;
        }
        // However the wait ends, go on to read.
        GetOverlappedResult(port, &state->overlapped, &got, TRUE);
    }

    got = 0;
    ++portCalls;
    if (!ReadFile(port, state->scratch, SCRATCH_SIZE, &got, &state->overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING) {
            return -1;
        }
        GetOverlappedResult(port, &state->overlapped, &got, TRUE);
    }
    return static_cast<long>(got);
}

DWORD WINAPI ReaderMain(LPVOID) {
    static ReaderState state;
    state.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    PortSession& session = ThePortSession();
    for (;;) {
        // Busy first, then look: ClosePort sets closing first, then looks.
        session.readerBusy.store(true);
        const HANDLE port = session.handle.load();
        if (port == INVALID_HANDLE_VALUE || session.closing.load()) {
            session.readerBusy.store(false);
            Sleep(1);
            continue;
        }
        const long got = WaitAndRead(port, &state);
        session.readerBusy.store(false);
        if (got < 0) {
            Sleep(1);
        } else if (got > 0) {
            AppendReceived(state.scratch, static_cast<std::size_t>(got));
            if (auto observer = readObserver.load())
                observer(static_cast<std::size_t>(got));
        }
    }
}

}  // namespace

bool StartReaderThread() {
    if (readerThread == nullptr) {
        readerThread = CreateThread(nullptr, 0, ReaderMain, nullptr, 0, nullptr);
    }
    return readerThread != nullptr;
}

HANDLE ReaderThreadHandle() {
    return readerThread;
}

std::uint64_t ReaderPortCalls() {
    return portCalls.load();
}

void SetReadObserver(void (*observer)(std::size_t got)) {
    readObserver.store(observer);
}
