// Several jobs at once, each on its own worker thread, as the archive mode
// starts them: every KE lands in its own directory, the flags tell the end.
#include "jobfixture.h"

using namespace archtest;

TEST_F(JobTest, SixteenKeModulesInOneRun) {
  const int count = 16;
  std::vector<devsim::KeConfig> configs;
  std::vector<std::unique_ptr<VemoraPortsType>> ports;
  for (int i = 0; i < count; ++i) {
    configs.push_back(KeWithFiles(2 + i % 3));
    configs.back().serial = "KE" + std::to_string(100000 + i);
    ports.push_back(Port(sim->AddKe("ke" + std::to_string(i), "ttyUSB" + std::to_string(i), configs.back()), 3));
  }
  ASSERT_TRUE(sim->Start());
  std::vector<std::unique_ptr<ArchiveJob>> jobsHere;
  RunContext &run = FreshRun(archive);
  for (int i = 0; i < count; ++i) {
    auto job = std::make_unique<ArchiveJob>();
    job->context = &run;
    job->copyPort = ports[i].get();
    ArchThreadClass::Start(*job, RunJob);
    EXPECT_NE(job->thread, nullptr);
    jobsHere.push_back(std::move(job));
  }
  // The run joins each worker before its job goes; joined here, every job
  // must have told its end by its flags.
  for (int i = 0; i < count; ++i) {
    jobsHere[i]->thread->Join();
    EXPECT_TRUE(jobsHere[i]->finished.load() && !jobsHere[i]->running.load()) << i;
    ExpectArchived(configs[i]);
  }
  EXPECT_EQ(TestRun().exitCode.load(), ExitCode::kDone);
  EXPECT_FALSE(Exists(archive + Sep() + "ERROR_log.txt"));
}
