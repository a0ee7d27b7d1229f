#include "pontex/shared/options.h"

#include <cstdio>
#include <string_view>

namespace pontex {

std::string_view version_pontex() { return PONTEX_VERSION; }

std::optional<int> option_standard(int argc, char** argv, std::string_view programme,
                                   std::string_view aide) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i] != nullptr ? argv[i] : "";
    if (a == "--help") {
      std::fwrite(aide.data(), 1, aide.size(), stdout);
    } else if (a == "--version") {
      std::printf("%.*s %.*s\n", static_cast<int>(programme.size()), programme.data(),
                  static_cast<int>(version_pontex().size()), version_pontex().data());
    } else {
      continue;
    }
    std::fflush(stdout);
    return 0;
  }
  return std::nullopt;
}

}  // namespace pontex
