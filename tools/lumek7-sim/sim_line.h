// The simulator's end of the serial line: any tty path (a pty end or a real
// USB serial adapter), raw at 115200 8N1, and a frame log with timestamps.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "sim_device.h"

// Opens and configures the line and throws away anything stale in it.
// Returns the descriptor, or -1 with a message in *error.
int OpenLine(const std::string& path, std::string* error);

// Writes every byte, retrying short writes. False when the line fails.
bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t n);

// One line per event, prefixed with the wall-clock time to the millisecond.
void LogLine(std::FILE* log, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
