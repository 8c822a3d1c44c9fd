/* Preloaded into the first of two m4410 instances in the kernel suite: once it holds the
   port's lock it keeps it for M4410_HOLD_LOCK_MS before going on, so a second instance
   started meanwhile meets the lock for certain rather than by timing luck. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/file.h>
#include <time.h>

int flock(int fd, int operation) {
  int (*real_flock)(int, int) = (int (*)(int, int))dlsym(RTLD_NEXT, "flock");
  const int result = real_flock(fd, operation);
  const char* hold = getenv("M4410_HOLD_LOCK_MS");
  if (result == 0 && (operation & LOCK_EX) && hold) {
    const long ms = atol(hold);
    struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&pause, NULL);
  }
  return result;
}
