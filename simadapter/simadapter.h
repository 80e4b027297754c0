// simadapter/: what stands between a client and the simulated instrument.
//   prologix_controller.h  a Prologix GPIB controller's "++" protocol, the instrument on its bus
//   sim_adapter.h          a serial bridge on TCP, a controller on a pty, or both, serving from a thread
#pragma once

#include "simadapter/prologix_controller.h"
#include "simadapter/sim_adapter.h"
