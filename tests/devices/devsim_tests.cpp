// The device simulator's line models, as the program's serial port sees them:
// the bench's figures rest on them. The KE's and the printer's rules (end
// bytes, ENQ, relay, file faults, Directory, identity) are exercised by the
// protocol, archive and fault tests that use them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "devices/collectreply.h"
#include "devices/fastcom.h"
#include "devsim.h"
#include "testbytes.h"

namespace {

// Every line model keeps the line rate and hands a reply over as its rule
// says, measured on the simulator's own clock: the byte model never ahead of
// the line, the adapter in packets of 62 (the rest when its 16 ms timer runs
// out), the FIFO in loads of 14 (the rest four character times after the
// last byte).
TEST(Devsim, LineModelsHandRepliesOverAtTheLineRate) {
  using Seconds = std::chrono::duration<double>;
  const struct {
    devsim::LineKind kind;
    size_t load;
    double restMin, restMax; // hand-over of the rest after its last byte, in s
  } cases[] = {{devsim::LineKind::kBytes, 0, 0, 0},
               {devsim::LineKind::kAdapter, 62, 1e-9, 0.016},
               {devsim::LineKind::kFifo, 14, 4 / 11520.0, 4 / 11520.0}};
  const double charTime = 1 / 11520.0, slack = 1e-6;
  devsim::KeConfig cfg;
  cfg.files = {devsim::MakeFile(1, 1000)};
  const std::string reply = devsim::FileContent(1, 1000) + '\xFF';
  devsim::Simulator sim;
  setenv("ZARVIK_DEV_ROOT", sim.DeviceRoot().c_str(), 1);
  std::vector<devsim::Line *> lines;
  for (const auto &c : cases) {
    lines.push_back(&sim.AddKe(devsim::LineKindName(c.kind), "ttyUSB" + std::to_string(10 + lines.size()), cfg));
    devsim::LineModel model;
    model.kind = c.kind;
    lines.back()->SetModel(model);
    lines.back()->LogDeliveries();
  }
  ASSERT_TRUE(sim.Start());
  for (size_t i = 0; i < lines.size(); ++i) {
    const auto &c = cases[i];
    SCOPED_TRACE(devsim::LineKindName(c.kind));
    FastCom port;
    port.baudRate = 115200;
    ASSERT_TRUE(port.Open(lines[i]->PortName().c_str(), 20));
    ByteBuffer got;
    port.Send(Frame("\x1b" "3;0;1F"));
    CollectReply(port, got, 100, nullptr, 1 << 24);
    EXPECT_EQ(Text(got), reply);
    const std::vector<devsim::Delivery> d = lines[i]->Deliveries();
    ASSERT_FALSE(d.empty());
    size_t total = 0;
    for (size_t k = 0; k < d.size(); ++k) {
      total += d[k].bytes;
      const double wait = Seconds(d[k].due - d[k].arrived).count();
      if (c.load == 0) {
        EXPECT_GE(wait, -charTime - slack) << "byte " << total << " handed over before its time";
      } else if (k + 1 < d.size()) {
        EXPECT_EQ(d[k].bytes, c.load);
        EXPECT_NEAR(wait, 0, slack);
        if (k > 0) {
          EXPECT_NEAR(Seconds(d[k].arrived - d[k - 1].arrived).count(), c.load * charTime, slack);
        }
      } else {
        EXPECT_EQ(d[k].bytes, reply.size() % c.load);
        EXPECT_GE(wait, c.restMin - slack);
        EXPECT_LE(wait, c.restMax + slack);
      }
    }
    EXPECT_EQ(total, reply.size());
    const double span = Seconds(d.back().arrived - d.front().arrived).count() + d.front().bytes * charTime;
    EXPECT_NEAR(reply.size() / span, 11520, 11520 * 0.005);
  }
}

} // namespace
