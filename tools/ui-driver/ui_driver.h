// A small driver for the shipped .exe in a real window: starts it, finds its
// windows by class name and control id, clicks, selects and reads them from
// another process, as a test robot would. Also restarts the simulator on
// the far end of COM3 and reads its frame log.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Polls until the condition holds or ms pass.
bool WaitFor(const std::function<bool()>& condition, DWORD ms);

std::wstring Text(HWND window);
void Click(HWND button);

// Runs a Linux command line through /bin/sh and waits for it.
int RunUnix(const std::string& commandLine);
// A Linux path as Wine shows it to Windows programs.
std::string WindowsPath(const std::string& unixPath);
std::string Env(const char* name);

// The simulator on COM3: restarted with the given options, its log read.
bool RestartSimulator(const std::string& options);
std::string SimulatorLog();
// The hex of every frame the simulator received, in order.
std::vector<std::string> FramesReceived();

// A PNG of the whole screen, left among the test artifacts.
void Screenshot(const std::string& name);

class App {
  public:
    // Starts the .exe named by LUMEK7_EXE and waits for its windows.
    bool Start();
    // Finds the windows of a utility that is already running (any, for 0).
    bool Attach(DWORD processId, DWORD ms);
    void Stop();
    ~App() { Stop(); }

    HWND main = nullptr;
    HWND dialog = nullptr;
    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    DWORD ProcessId() const { return process_.dwProcessId; }
    HANDLE Process() const { return process_.hProcess; }

  private:
    PROCESS_INFORMATION process_{};
};
