/* One read of the emulated port's data register, and whether the kernel let it through: a
   thread without I/O permission for the port takes a general protection fault (SIGSEGV). */
#include <setjmp.h>
#include <signal.h>
#include <string.h>
#include <sys/io.h>

static sigjmp_buf try_port_fault;

static void try_port_faulted(int signal_number) {
  (void)signal_number;
  siglongjmp(try_port_fault, 1);
}

static const char* try_port(void) {
  struct sigaction action, previous;
  memset(&action, 0, sizeof action);
  action.sa_handler = try_port_faulted;
  sigaction(SIGSEGV, &action, &previous);
  const char* answer = "denied";
  if (sigsetjmp(try_port_fault, 1) == 0) {
    (void)inb(0x378);
    answer = "reached";
  }
  sigaction(SIGSEGV, &previous, NULL);
  return answer;
}
