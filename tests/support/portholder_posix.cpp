// PortHolder on POSIX: a forked child opens the port and waits until the
// parent closes the pipe between them.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "devices/fastcom.h"
#include "support/portholder.h"

bool PortHolder::Start(const std::string &port) {
  int up[2], down[2];
  if (pipe(up) != 0)
    return false;
  if (pipe(down) != 0) {
    close(up[0]);
    close(up[1]);
    return false;
  }
  pid_t pid = fork();
  if (pid == 0) {
    close(up[0]);
    close(down[1]);
    FastCom held;
    char ok = held.Open(port.c_str(), 20) ? 1 : 0;
    [[maybe_unused]] ssize_t n = write(up[1], &ok, 1);
    char c;
    while (read(down[0], &c, 1) > 0) {
    }
    _exit(0);
  }
  close(up[1]);
  close(down[0]);
  if (pid < 0) {
    close(up[0]);
    close(down[1]);
    return false;
  }
  process = pid;
  channel = down[1];
  char ok = 0;
  bool got = read(up[0], &ok, 1) == 1;
  close(up[0]);
  return got && ok == 1;
}

void PortHolder::Stop() {
  if (process == 0)
    return;
  close(channel);
  channel = -1;
  int status = 0;
  waitpid(static_cast<pid_t>(process), &status, 0);
  process = 0;
}
