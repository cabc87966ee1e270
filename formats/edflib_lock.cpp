#include "formats/edflib_lock.h"

namespace kelvora {

std::mutex& EdflibMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace kelvora
