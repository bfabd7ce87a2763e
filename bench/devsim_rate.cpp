// Benchmark (not a test): the send rate the device simulator achieves for a
// 20 KiB KE file at 115200 baud, against the line rate of 11520 bytes/s.
// The program's own serial port reads the file as the archiving run would.
#include <chrono>
#include <cstdio>
#include <string>

#include "devices/fastcom.h"
#include "devsim.h"

int main() {
  using Clock = std::chrono::steady_clock;
  constexpr int kSize = 20 * 1024;
  constexpr double kLineRate = 115200 / 10.0;

  devsim::Simulator sim; // pacing on
  devsim::KeConfig cfg;
  cfg.files.push_back(devsim::MakeFile(1, kSize));
  devsim::Line &line = sim.AddKe("ke", "ttyUSB0", cfg);
  if (!sim.Start())
    return 1;
  setenv("ZARVIK_DEV_ROOT", sim.DeviceRoot().c_str(), 1);

  FastCom port;
  if (!port.Open(line.PortName().c_str(), 20)) {
    std::fprintf(stderr, "cannot open %s\n", line.PortName().c_str());
    return 1;
  }
  ByteBuffer request;
  request.AppendText("\x1b" "3;0;1F");
  port.Send(request);

  ByteBuffer chunk;
  long total = 0;
  Clock::time_point first{}, last{};
  auto deadline = Clock::now() + std::chrono::seconds(10);
  while (total < kSize + 1 && Clock::now() < deadline) {
    chunk.Clear();
    port.ReadAvailable(chunk);
    if (chunk.Length() == 0)
      continue;
    auto now = Clock::now();
    if (total == 0)
      first = now;
    last = now;
    total += chunk.Length();
  }
  port.Close();
  sim.Stop();
  if (total < kSize + 1) {
    std::fprintf(stderr, "only %ld of %d bytes arrived\n", total, kSize + 1);
    return 1;
  }
  // The first chunk's bytes were on their way before the clock started.
  double seconds = std::chrono::duration<double>(last - first).count();
  double rate = (total - 1) / seconds;
  std::printf("file %ld bytes in %.3f s: %.1f bytes/s; line rate %.1f bytes/s; ratio %.4f (%+.2f%%)\n", total,
              seconds, rate, kLineRate, rate / kLineRate, (rate / kLineRate - 1) * 100);
  return 0;
}
