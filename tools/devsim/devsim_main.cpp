// devsim: serves simulated devices on pseudo-terminals until stdin closes or
// SIGTERM/SIGINT arrives.
//
//   devsim [--root DIR] [--no-pacing] [--record-dir DIR] [--no-stdin]
//          [--scenario FILE] [DIRECTIVE ...]
//
// Every DIRECTIVE argument is one scenario line (see devsim.h), for example
//   devsim --root /tmp/dev "ke ke1 ttyUSB4 serial=AB12345678" "file 0" "file 1 size=3000"
// Prints one line per device line: "<name> <link> <slave> com<n>", then "ready".
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "devsim.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: devsim [--root DIR] [--no-pacing] [--record-dir DIR] [--no-stdin]\n"
               "              [--scenario FILE] [DIRECTIVE ...]\n");
  return 2;
}

} // namespace

int main(int argc, char **argv) {
  devsim::Options options;
  std::string scenarioFile, directives;
  bool watchStdin = true;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--root" && hasValue)
      options.deviceRoot = argv[++i];
    else if (arg == "--record-dir" && hasValue)
      options.recordDir = argv[++i];
    else if (arg == "--scenario" && hasValue)
      scenarioFile = argv[++i];
    else if (arg == "--no-pacing")
      options.pacing = false;
    else if (arg == "--no-stdin")
      watchStdin = false;
    else if (arg.rfind("--", 0) == 0)
      return Usage();
    else
      directives += arg + "\n";
  }

  // SIGTERM and SIGINT are taken through a signalfd by the main thread only.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  int sigfd = signalfd(-1, &signals, SFD_CLOEXEC);

  devsim::Simulator sim(options);
  std::string error;
  if (!scenarioFile.empty() && !sim.LoadScenarioFile(scenarioFile, &error)) {
    std::fprintf(stderr, "devsim: %s: %s\n", scenarioFile.c_str(), error.c_str());
    return 1;
  }
  if (!directives.empty() && !sim.LoadScenario(directives, &error)) {
    std::fprintf(stderr, "devsim: %s\n", error.c_str());
    return 1;
  }
  if (sim.Lines().empty())
    return Usage();
  if (!sim.Start()) {
    std::fprintf(stderr, "devsim: cannot start\n");
    return 1;
  }
  for (devsim::Line *line : sim.Lines())
    std::printf("%s %s %s %s\n", line->Name().c_str(),
                line->LinkPath().empty() ? line->SlavePath().c_str() : line->LinkPath().c_str(),
                line->SlavePath().c_str(), line->PortName().c_str());
  std::printf("ready\n");
  std::fflush(stdout);

  pollfd fds[2] = {{sigfd, POLLIN, 0}, {watchStdin ? 0 : -1, POLLIN, 0}};
  for (;;) {
    int r = poll(fds, 2, -1);
    if (r < 0)
      continue;
    if (fds[0].revents & POLLIN)
      break;
    if (fds[1].revents) {
      char buf[256];
      if (read(0, buf, sizeof buf) <= 0)
        break; // stdin closed
    }
  }
  sim.Stop();
  return 0;
}
