// What the Windows serial link offers beyond the common interface.
#pragma once

// An event (a HANDLE) that, once signalled, ends a read that is waiting on the
// port: a stop request (Ctrl+C, closing the console) must not wait out the 20 s
// of a reply read from a silent instrument. nullptr for none. The link only
// waits on it and never resets it.
void SetSerialReadAbortEvent(void* event);
