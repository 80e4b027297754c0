#include "connection/host_lookup.h"

#include <thread>

HostLookup::~HostLookup() {
  if (results != nullptr) freeaddrinfo(results);
}

LookupEnd ResolveHost(const std::string& host, int port, std::chrono::steady_clock::time_point deadline,
                      bool (*stopPending)(), std::shared_ptr<HostLookup>* lookupOut) {
  auto lookup = std::make_shared<HostLookup>();
  std::thread([lookup, host, port] {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
#ifdef AI_ADDRCONFIG
    hints.ai_flags |= AI_ADDRCONFIG;
#endif
    addrinfo* results = nullptr;
    const int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &results);
    std::lock_guard<std::mutex> lock(lookup->mutex);
    lookup->status = status;
    lookup->results = results;
    lookup->finished = true;
    lookup->done.notify_all();
  }).detach();
  *lookupOut = lookup;
  std::unique_lock<std::mutex> lock(lookup->mutex);
  while (!lookup->finished) {
    if (std::chrono::steady_clock::now() >= deadline) return LookupEnd::TimedOut;
    lock.unlock();
    const bool stop = stopPending();
    lock.lock();
    if (stop) return LookupEnd::Stopped;
    lookup->done.wait_for(lock, std::chrono::milliseconds(20));
  }
  return lookup->status == 0 ? LookupEnd::Found : LookupEnd::Failed;
}

std::string LookupFailureText(int status) {
#ifdef _WIN32
  return gai_strerrorA(status);
#else
  return gai_strerror(status);
#endif
}
