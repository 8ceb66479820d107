// The program writes its messages on standard output (the console), while
// a death test matches what the dying process wrote on standard error.
// STDOUT_TO_STDERR, as the first statement of a death test, sends the
// console there.
#pragma once

#include <unistd.h>

#include <cstdio>

#define STDOUT_TO_STDERR()                \
  do {                                    \
    std::fflush(stdout);                  \
    ::dup2(STDERR_FILENO, STDOUT_FILENO); \
  } while (0)
