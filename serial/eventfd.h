// Events on eventfd descriptors. The close event is manual-reset: it is set
// once and never read, so it stays readable for every poll() that includes it.
#pragma once

int CreateEventFd();  // non-blocking, close-on-exec; -1 on failure
void SetEventFd(int fd);
void ResetEventFd(int fd);  // reads the counter back to zero
bool IsEventFdSet(int fd);  // tested without waiting
