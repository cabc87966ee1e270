#pragma once
// The checks of the fuzz input runners: a failed check ends the run and gives its own text, so the fuzz target
// can abort on it and the regression tests can show it.
#include <string>

#define Check(condition)                                                                             \
  do {                                                                                               \
    if (!(condition)) return std::string(__FILE__ ":") + std::to_string(__LINE__) + ": " #condition; \
  } while (false)
