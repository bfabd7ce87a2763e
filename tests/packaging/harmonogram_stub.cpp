// Stands in for zarvik.exe and zarvik32.exe in the test of harmonogram.cmd:
// prints which of the two ran (its own file name) and its arguments, and
// ends with 7, which the script must pass on.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  const char *name = std::strrchr(path, '\\');
  std::printf("ran %s", name != nullptr ? name + 1 : path);
  for (int i = 1; i < argc; ++i)
    std::printf(" [%s]", argv[i]);
  std::printf("\n");
  return 7;
}
