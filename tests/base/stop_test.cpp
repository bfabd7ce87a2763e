// A stop from outside through the seam that delivers it as the system does
// (a signal on Linux; a console control event, whose handler runs on a thread
// of its own, or WM_ENDSESSION at the hidden window on Windows), one event a
// process (the stop is never cleared). ZARVIK_TEST_STOP holds
// "<event>:<name>:<holds>": the run's wait ends at once and names the event,
// and the handler holds the process (1) for the events after which the
// system ends it, or returns (0).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/stop.h"

TEST(PlatformStop, TheEventEndsTheWaitAndIsNamed) {
  const char *setting = std::getenv("ZARVIK_TEST_STOP");
  ASSERT_NE(setting, nullptr);
  const std::string text = setting;
  const unsigned long event = std::stoul(text);
  const std::string name = text.substr(text.find(':') + 1, text.rfind(':') - text.find(':') - 1);
  const bool holds = text.back() == '1';

  plat::ListenForStop();
  EXPECT_FALSE(plat::WaitForStop(50));
  EXPECT_EQ(plat::StopName(), "");
  bool returned = !holds;
  std::thread deliver([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    returned = plat::DeliverStopForTest(event, 1000);
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(plat::WaitForStop(20000));
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  deliver.join();
  EXPECT_LT(waited, 3.0);
  EXPECT_TRUE(plat::StopRequested());
  EXPECT_EQ(plat::StopName(), name);
  EXPECT_EQ(returned, !holds) << "the handler " << (returned ? "returned" : "held");
  // A held handler thread is ended by the process's exit, as in the program.
  std::_Exit(testing::Test::HasFailure() ? 1 : 0);
}
