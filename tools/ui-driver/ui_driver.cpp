#include "ui_driver.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

bool WaitFor(const std::function<bool()>& condition, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount64() > end)
            return false;
        Sleep(10);
    }
}

std::wstring Text(HWND window) {
    wchar_t buffer[512] = L"";
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK, 2000,
                        &copied);
    return buffer;
}

void Click(HWND button) {
    // Posted: a sent click would block while the success box is open.
    PostMessageW(button, BM_CLICK, 0, 0);
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

// Wine starts a Linux program detached: the process handle it returns says
// nothing about when the program ends or how. So the command leaves its exit
// status in a file, and we wait for that file.
int RunUnix(const std::string& commandLine) {
    static int calls = 0;
    const std::string done = Env("LUMEK7_LINE_DIR") + "/run-" +
                             std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++calls) +
                             ".status";
    std::string command = "Z:\\bin\\sh -c \"(" + commandLine +
                          ") </dev/null >/dev/null 2>&1; echo $? > " + done + ".new && mv " + done +
                          ".new " + done + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const std::string status = WindowsPath(done);
    int code = -1;
    WaitFor(
        [&] {
            std::ifstream in(status);
            return static_cast<bool>(in >> code);
        },
        30000);
    DeleteFileA(status.c_str());
    return code;
}

bool RestartSimulator(const std::string& options) {
    return RunUnix(Env("LUMEK7_ROOT") + "/scripts/test-line sim " + options) == 0;
}

std::string SimulatorLog() {
    std::ifstream in(WindowsPath(Env("LUMEK7_LINE_DIR") + "/sim.log"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> FramesReceived() {
    std::vector<std::string> frames;
    std::istringstream lines(SimulatorLog());
    std::string line;
    while (std::getline(lines, line)) {
        const auto at = line.find("RX frame (");
        if (at == std::string::npos)
            continue;
        frames.push_back(line.substr(line.find("): ", at) + 3));
    }
    return frames;
}

void Screenshot(const std::string& name) {
    const std::string dir = Env("LUMEK7_ARTIFACTS");
    if (dir.empty())
        return;
    RunUnix("mkdir -p '" + dir + "' && import -window root '" + dir + "/" + name + ".png'");
}

bool App::Start() {
    // A Wine start can fail before the program runs (rarely); one more try
    // then, but not after a program that did run and showed nothing.
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string command = "\"" + WindowsPath(Env("LUMEK7_EXE")) + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process_)) {
            return false;
        }
        WaitForInputIdle(process_.hProcess, 20000);
        if (Attach(process_.dwProcessId, 30000))
            return true;
        DWORD code = 0;
        const bool ended = GetExitCodeProcess(process_.hProcess, &code) && code != STILL_ACTIVE;
        Stop();
        if (!ended || code == 0)
            return false;
    }
    return false;
}

bool App::Attach(DWORD processId, DWORD ms) {
    return WaitFor(
        [&] {
            HWND candidate = nullptr;
            while ((candidate = FindWindowExA(nullptr, candidate, "QORACLIENTSDK_DEMO", nullptr)) !=
                   nullptr) {
                DWORD owner = 0;
                GetWindowThreadProcessId(candidate, &owner);
                if ((processId == 0 || owner == processId) && IsWindowVisible(candidate))
                    break;
            }
            if (candidate == nullptr)
                return false;
            main = candidate;
            dialog = FindWindowExA(main, nullptr, "#32770", nullptr);
            return dialog != nullptr;
        },
        ms);
}

void App::Stop() {
    if (process_.hProcess == nullptr)
        return;
    if (main != nullptr)
        PostMessageW(main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.hProcess, 5000) != WAIT_OBJECT_0) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
    process_ = {};
    main = dialog = nullptr;
}
