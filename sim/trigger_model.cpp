#include "sim/trigger_model.h"

#include <algorithm>
#include <cmath>

bool TriggerModel::WaitsForEvent(bool busTriggered) const {
  const bool armBypassed = armDirection == kSource && std::lround(armCount) == 1;
  const bool armFires = armSource == kArmImmediate || armSource == kArmTimer || (armSource == kArmBus && busTriggered);
  const bool triggerBypassed = triggerDirection == kSource && std::lround(triggerCount) == 1;
  const bool triggerFires = triggerSource == kTriggerImmediate;
  return !(armFires || armBypassed) || !(triggerFires || triggerBypassed);
}

std::vector<double> TriggerModel::ReadingStarts(double readingSeconds) const {
  const long passes = std::lround(armCount);
  const long perPass = std::lround(triggerCount);
  const double passSeconds = static_cast<double>(perPass) * readingSeconds;
  const double passInterval = armSource == kArmTimer ? std::max(armTimerSeconds, passSeconds) : passSeconds;
  std::vector<double> starts;
  starts.reserve(static_cast<std::size_t>(passes * perPass));
  for (long pass = 0; pass < passes; ++pass) {
    for (long i = 0; i < perPass; ++i) {
      starts.push_back(static_cast<double>(pass) * passInterval + static_cast<double>(i) * readingSeconds);
    }
  }
  return starts;
}
