// connection/: where the instrument is and how bytes reach it, below the
// instrument protocol.
//   connection_address.h  a serial device path or tcp://HOST:PORT, and GPIB addresses
//   tcp_link.h            a TCP connection with the serial port's time-outs
//   host_lookup.h         a host's addresses, found within the connect time
//   prologix_link.h       a Prologix GPIB controller's "++" protocol around another link
//   connection_link.h     the link the programs use: the kind the port text names
#pragma once

#include "connection/connection_address.h"
#include "connection/connection_link.h"
#include "connection/host_lookup.h"
#include "connection/prologix_link.h"
#include "connection/tcp_link.h"
