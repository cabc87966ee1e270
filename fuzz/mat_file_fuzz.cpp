// libFuzzer entry for mat_file_input.h; a failed check aborts, so the input is saved as a crash.
#include <cstdio>
#include <cstdlib>

#include "fuzz/mat_file_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string failure = kelvora::fuzz::RunMatFileInput(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "check failed: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
