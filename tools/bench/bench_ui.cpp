// The utility's figures in a real window, against lumek7-sim on COM3
// answering at once: start-up time beside a minimal window program, the
// time from the open click to the settings shown and from Apply to the
// success box, and the working set after an exchange.
//
//   bench-ui.exe MINIMAL_EXE
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "resource.h"
#include "ui_driver.h"

namespace {

constexpr int ROUNDS = 5;

// From CreateProcess to the top-level window of the class being visible.
double TimeToWindow(const std::string& exe, const char* windowClass) {
    std::string command = "\"" + exe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const double start = NowMs();
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    HWND window = nullptr;
    WaitFor(
        [&] {
            window = FindWindowA(windowClass, nullptr);
            return window != nullptr && IsWindowVisible(window);
        },
        30000);
    const double took = NowMs() - start;
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 5000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return took;
}

HWND SuccessBox() {
    return FindWindowW(L"#32770", L"标题");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench-ui.exe MINIMAL_EXE\n");
        return 2;
    }
    const std::string minimal = argv[1];
    const std::string utility = WindowsPath(Env("LUMEK7_EXE"));

    std::vector<double> minimalTimes, utilityTimes;
    for (int k = 0; k < ROUNDS; ++k) {
        minimalTimes.push_back(TimeToWindow(minimal, "LUMEK7_MINIMAL_WINDOW"));
        utilityTimes.push_back(TimeToWindow(utility, "QORACLIENTSDK_DEMO"));
    }
    const double minimalMedian = Median(minimalTimes);
    const double utilityMedian = Median(utilityTimes);
    std::printf(
        "start to main window visible (median of %d, alternating):\n"
        "  utility %.0f ms, minimal window program %.0f ms, ratio %.2f\n",
        ROUNDS, utilityMedian, minimalMedian, utilityMedian / minimalMedian);

    std::vector<double> openTimes, applyTimes;
    SIZE_T workingSet = 0;
    for (int k = 0; k < ROUNDS; ++k) {
        App app;
        if (!app.Start()) {
            std::fprintf(stderr, "bench-ui: the utility did not start\n");
            return 1;
        }
        SendMessageW(app.Item(IDC_PORT_LIST), CB_SETCURSEL, 0, 0);
        double start = NowMs();
        Click(app.Item(IDC_PORT_BUTTON));
        WaitFor([&] { return IsWindowEnabled(app.Item(IDC_APPLY)) != FALSE; }, 5000);
        openTimes.push_back(NowMs() - start);

        start = NowMs();
        Click(app.Item(IDC_APPLY));
        WaitFor([] { return SuccessBox() != nullptr; }, 5000);
        applyTimes.push_back(NowMs() - start);
        PostMessageW(SuccessBox(), WM_COMMAND, IDOK, 0);
        WaitFor([] { return SuccessBox() == nullptr; }, 2000);

        PROCESS_MEMORY_COUNTERS memory{};
        HANDLE process =
            OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, app.ProcessId());
        if (process != nullptr) {
            GetProcessMemoryInfo(process, &memory, sizeof memory);
            CloseHandle(process);
        }
        workingSet = memory.WorkingSetSize;
        app.Stop();
    }
    std::printf("open click to settings shown (median of %d): %.0f ms, worst %.0f ms\n", ROUNDS,
                Median(openTimes), Worst(openTimes));
    std::printf("Apply click to success box (median of %d): %.0f ms, worst %.0f ms\n", ROUNDS,
                Median(applyTimes), Worst(applyTimes));
    std::printf("working set after an exchange: %.1f MiB\n",
                static_cast<double>(workingSet) / (1024.0 * 1024.0));
    return 0;
}
