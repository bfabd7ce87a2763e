// Placeholder until the device report mode is built: it reports that it cannot run and
// fails, never pretending success.
#include "app/modes.h"

#include <cstdio>

int RunReportMode(const ReportOptions &options) {
  std::fputs("Tryb raportu nie jest jeszcze zbudowany / device report mode not built yet\n", stderr);
  return 1;
}
