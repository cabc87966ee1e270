#pragma once

namespace kelvora::cli {

// "kelvora-cli <version>".
const char* VersionText();

}  // namespace kelvora::cli
