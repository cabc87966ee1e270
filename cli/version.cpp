#include "cli/version.h"

namespace kelvora::cli {

const char* VersionText() { return "kelvora-cli " KELVORA_VERSION; }

}  // namespace kelvora::cli
