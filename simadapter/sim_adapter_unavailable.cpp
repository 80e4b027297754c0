// Without pseudo-terminals and the simulated instrument, there is nothing to
// stand in front of.
#include "simadapter/sim_adapter.h"

struct SimAdapter::Impl {
  std::string where;
  std::string error = "The simulated adapters need pseudo-terminals, which this system does not have.";
};

SimAdapter::SimAdapter(SimAdapterOptions, std::string, SimOptions) : impl_(std::make_unique<Impl>()) {}
SimAdapter::~SimAdapter() = default;
bool SimAdapter::Start() { return false; }
void SimAdapter::Stop() {}
const std::string& SimAdapter::Where() const { return impl_->where; }
std::string SimAdapter::ClientAddress() const { return impl_->where; }
const std::string& SimAdapter::Error() const { return impl_->error; }
int SimAdapter::DroppedDataLines() const { return 0; }
