#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("kelvora-cli %s\n", KELVORA_VERSION);
    return 0;
  }
  std::fprintf(stderr, "usage: kelvora-cli --help\n");
  return 2;
}
