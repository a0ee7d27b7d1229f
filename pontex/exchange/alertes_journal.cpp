#include "pontex/exchange/alertes_journal.h"

#include "pontex/exchange/etat_echange.h"

namespace pontex {

// One reading of the journal's texts for the window and the status file:
// what the status file counts as an error or a refusal, the window shows as
// an alert.
bool est_alerte_journal(std::string_view message) {
  const SorteLigne sorte = sorte_ligne(message);
  return sorte == SorteLigne::erreur || sorte == SorteLigne::refus;
}

bool est_ligne_alerte_journal(std::string_view ligne) {
  constexpr std::string_view separateur = " - ";
  const std::size_t s = ligne.find(separateur);
  if (s == std::string_view::npos) return false;
  return est_alerte_journal(ligne.substr(s + separateur.size()));
}

}  // namespace pontex
