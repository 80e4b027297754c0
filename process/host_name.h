// Which machine and which boot of it: the default bench name in published
// readings, and what a run record keeps to tell a run of this boot from one
// that a reboot ended.
#pragma once

#include <string>

// "bench" when the system gives no name.
std::string HostName();

// The kernel's id of this boot (Linux: /proc/sys/kernel/random/boot_id);
// empty where the system has none.
std::string BootId();

// This process's id.
int ProcessId();
