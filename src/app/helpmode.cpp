// Help mode, the version line and the discovery failure report.
#include "app/modes.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/console.h"
#include "platform/files.h"

ExitCode RunHelpMode() {
  PrintUsage();
  // Wait for Enter; a closed or exhausted standard input ends the wait too.
  for (;;) {
    const int ch = plat::ConsoleReadChar();
    if (ch < 0 || ch == '\r' || ch == '\n') break;
  }
  return ExitCode::kDone;
}

ExitCode RunVersionMode() {
  plat::ConsoleWrite("zarvik " ZARVIK_VERSION "\n");
  return ExitCode::kDone;
}

ExitCode DiscoveryFailureReport(const char *errorText) {
  const std::string error = errorText != nullptr ? errorText : "";
  // "Błąd systemu." in Windows-1250; the CRs are bare and the text names the
  // Windows file on every platform.
  std::string console = "B\xB3" "\xB9" "d systemu.\r";
  console += error;
  console += "\rRaport: c:error.txt ";
  plat::ConsoleWrite(console);

  const std::string path = plat::DiscoveryErrorFile();
  plat::PutInPlace(path, error.data(), error.size());
  return ExitCode::kDiscoveryFailed;
}
