// The run of one archiving job in-process against the device simulator: the
// simulator's device root stands in for /dev, the archive and the printer's
// log go to scratch directories.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/modes.h"
#include "archive/archthread.h"
#include "archtest_util.h"
#include "devsim.h"

namespace archtest {

// A KE holding file 0 and files 1..count of a few hundred bytes each.
inline devsim::KeConfig KeWithFiles(int count, devsim::VersionKind kind = devsim::VersionKind::kTagged) {
  devsim::KeConfig cfg;
  cfg.version = kind;
  cfg.enqBeforeFile = 0;
  cfg.files.push_back(devsim::MakeFile(0, 120));
  for (int n = 1; n <= count; ++n)
    cfg.files.push_back(devsim::MakeFile(n, 200 + 37 * n));
  return cfg;
}

class JobTest : public ::testing::Test, public JobArchive {
protected:
  TestDir root;
  TestDir home;
  std::unique_ptr<devsim::Simulator> sim;
  using JobArchive::Run;  // not the test's own Run

  void SetUp() override {
    devsim::Options options;
    options.pacing = false;
    sim = std::make_unique<devsim::Simulator>(options);
    setenv("ZARVIK_DEV_ROOT", sim->DeviceRoot().c_str(), 1);
    setenv("HOME", home.root.c_str(), 1);
    archive = root / "archiwum";
    FreshRun(archive);
  }
  void TearDown() override { sim->Stop(); }

  // A port record as discovery would make it for a simulated line.
  std::unique_ptr<VemoraPortsType> Port(const devsim::Line &line, int deviceCode) {
    auto port = std::make_unique<VemoraPortsType>();
    port->comNumber = line.ComNumber();
    port->orderKey = line.ComNumber();
    port->portName = line.PortName();
    port->deviceCode = static_cast<DeviceModel>(deviceCode);
    return port;
  }

  // Every listed file of cfg is on disk with the bytes the KE sent.
  void ExpectArchived(const devsim::KeConfig &cfg) {
    for (const devsim::KeFile &file : cfg.files) {
      std::string path = File(cfg.serial, DiskName(file.number, file.date));
      EXPECT_EQ(ReadBytes(path), devsim::FileReply(file, '3')) << path;
    }
  }
};

} // namespace archtest
