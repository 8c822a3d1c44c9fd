/* Preloaded into a program in the kernel suite. At the first call its main thread makes to the
   function named by M4410_WITNESS_AT, which comes only after the program's start (the window
   program's dialog, the command's pause between looks at its run), it tries the port itself,
   starts /usr/bin/port-witness as its child, writes both answers to M4410_WITNESS_OUT and
   ends the program. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "try_port.h"

static void witness(const char* at) {
  const char* wanted = getenv("M4410_WITNESS_AT");
  const char* out = getenv("M4410_WITNESS_OUT");
  if (!wanted || !out || strcmp(wanted, at) != 0 || syscall(SYS_gettid) != getpid()) return;
  const int fd = open(out, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) _exit(120);
  dprintf(fd, "main: %s\n", try_port());
  const pid_t child = fork();
  if (child == 0) {
    dup2(fd, 1);
    char* const argv[] = {"port-witness", NULL};
    char* const envp[] = {NULL};
    execve("/usr/bin/port-witness", argv, envp);
    _exit(121);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || status != 0) {
    dprintf(fd, "child: did not run (%d)\n", status);
  }
  _exit(0);
}

/* QDialog::exec() */
int _ZN7QDialog4execEv(void* dialog) {
  (void)dialog;
  witness("dialog");
  return 0;
}

int nanosleep(const struct timespec* pause, struct timespec* left) {
  witness("sleep");
  int (*real)(const struct timespec*, struct timespec*) =
      (int (*)(const struct timespec*, struct timespec*))dlsym(RTLD_NEXT, "nanosleep");
  return real(pause, left);
}
