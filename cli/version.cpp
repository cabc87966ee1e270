#include "cli/version.h"

namespace kelvora::cli {

const char* VersionText() {
  return "kelvora-cli " KELVORA_VERSION
         "\n"
         "Copyright (C) 2026 the Kelvora developers.\n"
         "Licence GPL-3.0-or-later: GNU General Public License version 3 or later\n"
         "<https://www.gnu.org/licenses/gpl-3.0.html>.\n"
         "This is free software: you are free to change and redistribute it.\n"
         "There is NO WARRANTY, to the extent permitted by law.";
}

}  // namespace kelvora::cli
