/* Started by a program under test: says whether a program it starts reaches the port. */
#include <stdio.h>

#include "try_port.h"

int main(void) {
  printf("child: %s\n", try_port());
  return 0;
}
