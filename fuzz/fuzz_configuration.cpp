// "Pontex.wdo" is edited by hand in the settings window: any bytes, any line
// ends, keys cut short, numbers out of range.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pontex/data/configuration.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pontex::Configuration config;
  pontex::applique_texte_configuration(std::string_view(reinterpret_cast<const char*>(data), size),
                                       config);
  // A folder value that was given always ends with a backslash.
  if (!config.transit.empty() && config.transit.back() != '\\') __builtin_trap();
  if (!config.ficbase.empty() && config.ficbase.back() != '\\') __builtin_trap();
  return 0;
}
