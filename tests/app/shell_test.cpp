// The discovery failure report and the process-wide result code.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/modes.h"
#include "base/testdir.h"

namespace {

TEST(DiscoveryFailureReport, WritesTheErrorFileAndEndsWith8) {
  const std::string path = plat::DiscoveryErrorFile();
  ASSERT_FALSE(path.empty());

  // An earlier, longer report is replaced, not overwritten in part.
  const std::string longer(500, 'x');
  EXPECT_EQ(DiscoveryFailureReport(longer.c_str()), ExitCode::kDiscoveryFailed);
  const std::string error = "SetupDiGetClassDevsExA: b\xB3\xB9" "d 87";
  EXPECT_EQ(DiscoveryFailureReport(error.c_str()), ExitCode::kDiscoveryFailed);
  EXPECT_EQ(ReadAll(path), error);

  // An empty or missing text leaves an empty file.
  EXPECT_EQ(DiscoveryFailureReport(""), ExitCode::kDiscoveryFailed);
  EXPECT_EQ(ReadAll(path), "");
  EXPECT_EQ(DiscoveryFailureReport(nullptr), ExitCode::kDiscoveryFailed);
  EXPECT_TRUE(plat::FileExists(path));
  std::remove(path.c_str());
}

} // namespace
