// The test line that scripts/test-line lays out under Wine:
//   COM3  <-> lumek7-sim with its default settings
//   COM5  <-> COM6, a null-modem pair: the tests play the far end on COM6
//   COM33 is mapped too, and must never be found; every other port of
//   COM1 to COM32 is disabled in the prefix.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

constexpr char SIM_PORT[] = "\\\\.\\COM3";
constexpr char NEAR_PORT[] = "\\\\.\\COM5";
constexpr char FAR_PORT[] = "\\\\.\\COM6";
constexpr std::uint32_t MAPPED_PORTS = (1u << 2) | (1u << 4) | (1u << 5);

// The far end of the null-modem pair, opened as a plain synchronous port.
class FarEnd {
  public:
    FarEnd();
    ~FarEnd();
    bool Ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Write(const std::vector<std::uint8_t>& bytes);
    // Collects what arrives until `want` bytes are in or `ms` pass.
    std::vector<std::uint8_t> Read(std::size_t want, DWORD ms);
    void Drain();

  private:
    HANDLE handle_;
};

// Milliseconds since an arbitrary start, for measuring.
double NowMs();
