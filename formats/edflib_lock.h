#pragma once
// EDFlib keeps its open files in one table of its own that is not safe to use from two threads: every call into
// it, reading or writing, holds this lock.
#include <mutex>

namespace kelvora {

std::mutex& EdflibMutex();

}  // namespace kelvora
