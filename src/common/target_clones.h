// Functions compiled for several instruction sets, the best one chosen when
// the program is loaded. The thread sanitizer cannot run the choosers (they
// run before it is set up), so its build compiles one version only.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define KORVEL_TARGET_CLONES(...)
#else
#define KORVEL_TARGET_CLONES(...) __attribute__((target_clones(__VA_ARGS__)))
#endif
