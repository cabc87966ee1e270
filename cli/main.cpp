#include <cstdio>
#include <cstring>

#include "cli/version.h"

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s\n", kelvora::cli::VersionText());
    return 0;
  }
  std::fprintf(stderr, "usage: kelvora-cli --help\n");
  return 2;
}
