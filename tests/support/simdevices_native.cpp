// SimDevices natively: the simulator runs in the test program.
#include <cstdlib>
#include <memory>

#include "devsim.h"
#include "support/simdevices.h"

#ifndef ZARVIK_SIM_SCENARIO
#error "ZARVIK_SIM_SCENARIO names the scenario file"
#endif

namespace {
std::unique_ptr<devsim::Simulator> &Sim() {
  static std::unique_ptr<devsim::Simulator> sim;
  return sim;
}
} // namespace

bool SimDevices::UnderWine() { return false; }

SimDevices::SimDevices() {
  Sim() = std::make_unique<devsim::Simulator>();
  std::string why;
  if (!Sim()->LoadScenarioFile(ZARVIK_SIM_SCENARIO, &why)) {
    error = "scenario " + std::string(ZARVIK_SIM_SCENARIO) + ": " + why;
    return;
  }
  if (!Sim()->Start()) {
    error = "the simulator did not start";
    return;
  }
  setenv("ZARVIK_DEV_ROOT", Sim()->DeviceRoot().c_str(), 1);
}

int SimDevices::Com(const std::string &name) const {
  devsim::Line *line = Sim()->Find(name);
  return line ? line->ComNumber() : 0;
}

std::string SimDevices::Received(const std::string &name) const {
  devsim::Line *line = Sim()->Find(name);
  return line ? line->Received() : std::string();
}
