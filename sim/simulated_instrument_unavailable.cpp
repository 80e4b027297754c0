// Platforms without pseudo-terminals (Windows): the simulated instrument cannot
// serve a serial line there, so Start fails with a reason the caller shows. A
// real instrument, or a virtual COM port pair with ivra-sim's model behind it,
// is the way to run on such a platform.
#include "sim/simulated_instrument.h"

struct SimulatedInstrument::Impl {
  std::string devicePath;
  std::string error = "the simulated instrument needs a pseudo-terminal, which this platform does not offer";
};

SimulatedInstrument::SimulatedInstrument(SimOptions) : impl_(std::make_unique<Impl>()) {}
SimulatedInstrument::~SimulatedInstrument() = default;

bool SimulatedInstrument::Start() { return false; }
void SimulatedInstrument::Stop() {}
const std::string& SimulatedInstrument::DevicePath() const { return impl_->devicePath; }
const std::string& SimulatedInstrument::Error() const { return impl_->error; }
bool SimulatedInstrument::OutputOn() const { return false; }
double SimulatedInstrument::SourceVolts() const { return 0.0; }
double SimulatedInstrument::ComplianceA() const { return 0.0; }
int SimulatedInstrument::ReadRequests() const { return 0; }
std::vector<std::string> SimulatedInstrument::ReceivedCommands() const { return {}; }
std::size_t SimulatedInstrument::ReceivedCount() const { return 0; }
bool SimulatedInstrument::WaitForCommands(std::size_t, int) const { return false; }
bool SimulatedInstrument::Serving() const { return false; }
bool SimulatedInstrument::HungUp() const { return false; }
