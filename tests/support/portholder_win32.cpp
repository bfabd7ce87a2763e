// PortHolder on Windows: the test program starts itself again, running only
// the disabled test PortHolderChild.DISABLED_Hold, which opens the port named
// in ZARVIK_HOLD_PORT, reports through the file ZARVIK_HOLD_REPORT and then
// sleeps until it is terminated.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "devices/fastcom.h"
#include "support/portholder.h"

namespace {

std::string ReportPath() {
  char dir[MAX_PATH];
  GetTempPathA(sizeof dir, dir);
  return std::string(dir) + "zarvik-hold-" + std::to_string(GetCurrentProcessId()) + ".txt";
}

} // namespace

bool PortHolder::Start(const std::string &port) {
  std::string report = ReportPath();
  DeleteFileA(report.c_str());
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  SetEnvironmentVariableA("ZARVIK_HOLD_PORT", port.c_str());
  SetEnvironmentVariableA("ZARVIK_HOLD_REPORT", report.c_str());
  std::string cmd = std::string("\"") + exe +
                    "\" --gtest_also_run_disabled_tests --gtest_filter=PortHolderChild.DISABLED_Hold";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  BOOL started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableA("ZARVIK_HOLD_PORT", nullptr);
  SetEnvironmentVariableA("ZARVIK_HOLD_REPORT", nullptr);
  if (!started)
    return false;
  CloseHandle(pi.hThread);
  process = reinterpret_cast<intptr_t>(pi.hProcess);
  // A new process under Wine may take a few seconds to start.
  for (int i = 0; i < 600; ++i) {
    FILE *f = std::fopen(report.c_str(), "rb");
    if (f) {
      int c = std::fgetc(f);
      std::fclose(f);
      if (c == '1' || c == '0')
        return c == '1';
    }
    if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0)
      return false;
  }
  return false;
}

void PortHolder::Stop() {
  if (process == 0)
    return;
  HANDLE h = reinterpret_cast<HANDLE>(process);
  TerminateProcess(h, 0);
  WaitForSingleObject(h, 10000);
  CloseHandle(h);
  process = 0;
}

TEST(PortHolderChild, DISABLED_Hold) {
  const char *port = std::getenv("ZARVIK_HOLD_PORT");
  const char *report = std::getenv("ZARVIK_HOLD_REPORT");
  if (port == nullptr || report == nullptr)
    GTEST_SKIP();
  FastCom held;
  bool ok = held.Open(port, 20);
  std::string tmp = std::string(report) + ".part";
  FILE *f = std::fopen(tmp.c_str(), "wb");
  if (f) {
    std::fputc(ok ? '1' : '0', f);
    std::fclose(f);
    MoveFileA(tmp.c_str(), report);
  }
  Sleep(120000);
}
