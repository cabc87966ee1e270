#pragma once

namespace kelvora::cli {

// "kelvora-cli <version>" on the first line, then the copyright and licence lines (no final line end).
const char* VersionText();

}  // namespace kelvora::cli
