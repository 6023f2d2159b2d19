// The reader thread: every read from the port, fed into the receive buffer.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Starts the thread once; it runs until the process ends.
bool StartReaderThread();

// For tests and measurements: the thread, the number of wait and read calls
// it has made on a port, and an observer told the size of every non-empty
// read after it has been appended.
HANDLE ReaderThreadHandle();
std::uint64_t ReaderPortCalls();
void SetReadObserver(void (*observer)(std::size_t got));
