// The COM port: finding the ports present, opening one at 115200 8N1,
// writing frames and releasing it.
//
// Threads: EnumeratePorts, OpenPort, ClosePort and WritePort run on the UI
// thread only, so the port handle has one writer. The reader thread reads
// the handle at the top of each turn and makes its calls on it; ClosePort
// and the reader agree through the port session so that the handle is
// never closed while the reader may still make a call on it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

struct PortSession {
    // The open port, or INVALID_HANDLE_VALUE. Read by the reader without a lock.
    std::atomic<HANDLE> handle{INVALID_HANDLE_VALUE};
    // Set by ClosePort while it takes the port away from the reader.
    std::atomic<bool> closing{false};
    // Set by the reader for as long as it is using the handle it loaded.
    std::atomic<bool> readerBusy{false};
};

PortSession& ThePortSession();

// Bit k set: COM(k+1) could be opened at this moment. COM1 to COM32 only.
std::uint32_t EnumeratePorts();

// True when the port was opened, whatever became of its configuration. An
// open port is released first, whether or not the new one opens.
bool OpenPort(const char* path);

void ClosePort();

// Writes n bytes and waits for them at most 1000 ms. Failures are silent:
// the device's reply is the only proof of success.
void WritePort(const std::uint8_t* bytes, DWORD n);

constexpr DWORD WRITE_WAIT_MS = 1000;
