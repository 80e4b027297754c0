// Finding a host's addresses within the connect time. getaddrinfo has no
// time-out of its own, so it runs on a thread of its own that is left to
// finish alone when the time is up or a stop comes; what it finds then is
// freed with the last reference.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#ifdef _WIN32
#include <winsock2.h>

#include <ws2tcpip.h>
#else
#include <netdb.h>
#endif

struct HostLookup {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  int status = 0;  // getaddrinfo's
  addrinfo* results = nullptr;
  ~HostLookup();
};

enum class LookupEnd { Found, Failed, TimedOut, Stopped };

// Resolves `host` at `port` (TCP, any family), waiting until `deadline`;
// `stopPending` is asked between short waits. `lookup` holds what was found.
LookupEnd ResolveHost(const std::string& host, int port, std::chrono::steady_clock::time_point deadline,
                      bool (*stopPending)(), std::shared_ptr<HostLookup>* lookup);

// The resolver's words for a failed lookup's status.
std::string LookupFailureText(int status);
