// The window-state store "W_intlog.wdo": any bytes on disk (a damaged file,
// a count beyond the records), then a read, a write and a read again.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "pontex/data/inter_logg.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A folder of its own, the current directory of the whole run.
  char modele[] = "/tmp/pontex-fuzz-logg-XXXXXX";
  if (::mkdtemp(modele) == nullptr || ::chdir(modele) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Beyond a few hundred records nothing new is reached; keep each run fast.
  if (size > 64 * 1024) return 0;
  {
    std::ofstream f("W_intlog.wdo", std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  (void)pontex::lit_logg("POSIFEN");
  (void)pontex::ecrit_logg("POSIFEN", "OUI");
  (void)pontex::lit_logg("posifen ");
  return 0;
}
