// Several jobs at once, each on its own worker thread, as the archive mode
// starts them: every KE lands in its own directory, the flags tell the end.
#include <chrono>
#include <thread>

#include "jobfixture.h"

using namespace archtest;

class ParallelTest : public JobTest {
protected:
  void ArchiveInParallel(int count);
};

void ParallelTest::ArchiveInParallel(int count) {
  std::vector<devsim::KeConfig> configs;
  std::vector<std::unique_ptr<VemoraPortsType>> ports;
  for (int i = 0; i < count; ++i) {
    configs.push_back(KeWithFiles(2 + i % 3));
    configs.back().serial = "KE" + std::to_string(100000 + i);
    ports.push_back(Port(sim->AddKe("ke" + std::to_string(i), "ttyUSB" + std::to_string(i), configs.back()), 3));
  }
  ASSERT_TRUE(sim->Start());
  std::vector<std::unique_ptr<archType>> jobsHere;
  RunContext &run = FreshRun(archive);
  for (int i = 0; i < count; ++i) {
    auto job = std::make_unique<archType>();
    job->context = &run;
    job->copyPort = ports[i].get();
    ArchThreadClass::Start(*job);
    EXPECT_NE(job->thread, nullptr);
    jobsHere.push_back(std::move(job));
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  for (;;) {
    bool done = true;
    for (auto &job : jobsHere)
      done = done && job->finished.load() && !job->running.load();
    if (done || std::chrono::steady_clock::now() > deadline)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  for (int i = 0; i < count; ++i) {
    ASSERT_TRUE(jobsHere[i]->finished.load()) << i;
    ExpectArchived(configs[i]);
  }
  EXPECT_EQ(TestRun().exitCode.load(), 0);
  EXPECT_FALSE(Exists(archive + Sep() + "ERROR_log.txt"));
  // The finished flag is the worker's last access to its job; a moment more
  // lets each detached thread leave its body before the jobs go.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

TEST_F(ParallelTest, TwoKeModulesInOneRun) { ArchiveInParallel(2); }

TEST_F(ParallelTest, SixteenKeModulesInOneRun) { ArchiveInParallel(16); }
