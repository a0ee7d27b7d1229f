#include "tests/support/fenetre_enregistreuse.h"

namespace pontex::test {

FenetreEnregistreuse::FenetreEnregistreuse(const std::string& transit) {
  (void)File1.met_dossier(transit + "import");
  (void)File2.met_dossier(transit + "export");
}

void FenetreEnregistreuse::ajoute_journal(std::string_view message, SorteLigne sorte) {
  journal.emplace_back(message);
  sortes.push_back(sorte);
}

std::vector<std::string> FenetreEnregistreuse::noms_File1() { return File1.noms(); }
void FenetreEnregistreuse::rafraichit_File1() { File1.rafraichit(); }
std::vector<std::string> FenetreEnregistreuse::noms_File2() { return File2.noms(); }
void FenetreEnregistreuse::rafraichit_File2() { File2.rafraichit(); }

void FenetreEnregistreuse::remplit_List2(const std::vector<std::string>& noms) { List2 = noms; }

void FenetreEnregistreuse::traite_evenements() {
  ++passes_evenements;
  if (pendant_evenements) pendant_evenements();
}

}  // namespace pontex::test
