#pragma once
// The two things Pontex asks of the system beyond files: starting another of
// the three programs, and ending itself at once. Every start and every end
// of the windows goes through this one seam, so the windows can be driven
// in-process by tests that record the calls instead of ending the runner.

#include <string_view>

#include "pontex/shared/processus.h"
#include "pontex/shared/resultat.h"

namespace pontex::fenetres {

class Systeme {
 public:
  virtual ~Systeme() = default;
  // Starts a program by its bare name ("relvano.exe", "kestrap.exe"),
  // detached, without waiting.
  virtual Resultat demarre(std::string_view nom, Fenetre_lancement fenetre) = 0;
  // Ends the process at once, with no further window event. The real one
  // never returns; one that does (tests) leaves the caller to return at
  // once without doing anything else.
  virtual void termine() = 0;
};

// The real system: the platform layer.
class SystemeReel : public Systeme {
 public:
  Resultat demarre(std::string_view nom, Fenetre_lancement fenetre) override;
  void termine() override;
};

}  // namespace pontex::fenetres
