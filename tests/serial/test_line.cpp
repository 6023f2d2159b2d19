#include "test_line.h"

FarEnd::FarEnd() {
    handle_ =
        CreateFileA(FAR_PORT, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE)
        return;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(handle_, &dcb);
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    SetCommState(handle_, &dcb);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = 20;
    SetCommTimeouts(handle_, &timeouts);
    Drain();
}

FarEnd::~FarEnd() {
    if (Ok())
        CloseHandle(handle_);
}

void FarEnd::Write(const std::vector<std::uint8_t>& bytes) {
    DWORD written = 0;
    WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::vector<std::uint8_t> FarEnd::Read(std::size_t want, DWORD ms) {
    std::vector<std::uint8_t> got;
    const double end = NowMs() + ms;
    std::uint8_t chunk[4096];
    while (got.size() < want && NowMs() < end) {
        DWORD n = 0;
        if (!ReadFile(handle_, chunk, sizeof chunk, &n, nullptr))
            Sleep(1);
        got.insert(got.end(), chunk, chunk + n);
    }
    return got;
}

void FarEnd::Drain() {
    PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    Read(SIZE_MAX, 50);
}

double NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}
