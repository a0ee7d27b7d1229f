#include "relvano/mode_lancement.h"

#include <string>
#include <vector>

namespace relvano {

// The platform layer reads the start-up show state on Windows and the
// environment on Linux; the arguments say whether a person is waiting.
pontex::Fenetre_lancement lit_mode_lancement(int argc, const char* const* argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] != nullptr) arguments.emplace_back(argv[i]);
  }
  return pontex::mode_lancement_demande(arguments);
}

}  // namespace relvano
