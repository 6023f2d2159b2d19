#include "serial_port.h"

#include <cstdio>

namespace {

PortSession portSession;

constexpr DWORD QUEUE_SIZE = 2048;

// Takes the port away from the reader thread, then purges and closes it.
// The reader marks itself busy before it looks at the closing flag, and this
// side sets the flag before it looks at the busy mark, so one of the two
// always sees the other. While the reader is busy its wait or read may be
// pending: clearing the event mask ends a pending wait and CancelIoEx a
// pending read. Both are repeated until the reader lets go, since it may
// issue its next call just after a release.
void ReleasePort(HANDLE handle) {
    portSession.closing.store(true);
    SetCommMask(handle, 0);
    while (portSession.readerBusy.load()) {
        CancelIoEx(handle, nullptr);
        SetCommMask(handle, 0);
        Sleep(1);
    }
    PurgeComm(handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    CloseHandle(handle);
    portSession.handle.store(INVALID_HANDLE_VALUE);
    portSession.closing.store(false);
}

void ConfigurePort(HANDLE handle) {
    // Only the arrival of a character is of interest.
    SetCommMask(handle, EV_RXCHAR);
    SetupComm(handle, QUEUE_SIZE, QUEUE_SIZE);

    // Reads return at once with whatever is queued; a write that cannot
    // proceed ends after 100 ms a byte plus 500 ms.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 100;
    timeouts.WriteTotalTimeoutConstant = 500;
    SetCommTimeouts(handle, &timeouts);

    // 115200 8N1; flow control and the rest stay as the driver has them.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(handle, &dcb);
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    SetCommState(handle, &dcb);

    PurgeComm(handle, PURGE_TXCLEAR | PURGE_RXCLEAR);
}

}  // namespace

PortSession& ThePortSession() {
    return portSession;
}

std::uint32_t EnumeratePorts() {
    std::uint32_t mask = 0;
    for (int n = 1; n <= 32; ++n) {
        char path[16];
        std::snprintf(path, sizeof path, "\\\\.\\COM%d", n);
        HANDLE probe = CreateFileA(path, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            mask |= 1u << (n - 1);
            CloseHandle(probe);
        }
    }
    return mask;
}

bool OpenPort(const char* path) {
    ClosePort();
    HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        GetLastError();  // fetched and not reported: a failed open changes nothing
        return false;
    }
    // The reader may start waiting on the port from here on, while it is
    // still being configured.
    portSession.handle.store(handle);
    ConfigurePort(handle);
    return true;
}

void ClosePort() {
    const HANDLE handle = portSession.handle.load();
    if (handle != INVALID_HANDLE_VALUE) {
        ReleasePort(handle);
    }
}

void WritePort(const std::uint8_t* bytes, DWORD n) {
    const HANDLE handle = portSession.handle.load();
    if (handle == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD errors = 0;
    COMSTAT status{};
    ClearCommError(handle, &errors, &status);

    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (done == nullptr) {
        return;
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = done;
    DWORD written = 0;
    if (!WriteFile(handle, bytes, n, &written, &overlapped) && GetLastError() == ERROR_IO_PENDING &&
        WaitForSingleObject(done, WRITE_WAIT_MS) != WAIT_OBJECT_0) {
        // Still pending: the driver may still touch the record, the event
        // and the caller's bytes, so end the write and wait for it to end
        // before any of them goes away.
        CancelIoEx(handle, &overlapped);
        GetOverlappedResult(handle, &overlapped, &written, TRUE);
    }
    CloseHandle(done);
}
