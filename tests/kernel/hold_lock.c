/* Preloaded into the first of two m4410 instances in the kernel suite: once it holds a range of
   the port lock it keeps it for M4410_HOLD_LOCK_MS before going on, so a second instance
   started meanwhile meets the lock for certain rather than by timing luck. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <time.h>

static void hold(void) {
  const char* hold = getenv("M4410_HOLD_LOCK_MS");
  if (!hold) return;
  const long ms = atol(hold);
  struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&pause, NULL);
}

/* Every fcntl the program makes passes one pointer-sized argument at most. */
static int locking(const char* name, int fd, int cmd, void* arg) {
  int (*real)(int, int, ...) = (int (*)(int, int, ...))dlsym(RTLD_NEXT, name);
  const int result = real(fd, cmd, arg);
  if (result == 0 && cmd == F_OFD_SETLK) hold();
  return result;
}

int fcntl(int fd, int cmd, ...) {
  va_list args;
  va_start(args, cmd);
  void* arg = va_arg(args, void*);
  va_end(args);
  return locking("fcntl", fd, cmd, arg);
}

int fcntl64(int fd, int cmd, ...) {
  va_list args;
  va_start(args, cmd);
  void* arg = va_arg(args, void*);
  va_end(args);
  return locking("fcntl64", fd, cmd, arg);
}
