#include <chrono>
#include <cstdint>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/exchange/articles_echange.h"
#include "pontex/exchange/echange.h"
#include "pontex/exchange/textes_journal.h"
#include "pontex/shared/fichiers.h"

namespace pontex {

namespace {

// A file changed less than this long ago may still be growing: on Linux the
// server can go on writing into a file we have already deleted, and the rest
// of it would be lost.
constexpr double delai_ecriture_secondes = 2.0;

bool fin_txt(std::string_view nom) {
  if (nom.size() < 4) return false;
  const std::string_view fin = nom.substr(nom.size() - 4);
  return fin[0] == '.' && (fin[1] | 0x20) == 't' && (fin[2] | 0x20) == 'x' &&
         (fin[3] | 0x20) == 't';
}

// The kept copy: the listed name with its final ".txt", in any case, turned
// into ".old" ("X.TXT" -> "X.old", "a.txt.txt" -> "a.txt.old").
std::string nom_copie_gardee(std::string_view nom) {
  std::string base(fin_txt(nom) ? nom.substr(0, nom.size() - 4) : nom);
  return base + ".old";
}

bool encore_en_ecriture(const std::string& chemin) {
  const std::optional<std::chrono::nanoseconds> modifie = date_modification(chemin);
  if (!modifie) return false;  // the copy will tell whether the file is there
  // With its sub-second part: a file changed 1.6 s ago is still too young.
  const std::chrono::duration<double> age =
      std::chrono::system_clock::now().time_since_epoch() - *modifie;
  // A time in the future (a server whose clock runs ahead) holds nothing back.
  return age.count() >= 0.0 && age.count() < delai_ecriture_secondes;
}

// Puts the received file into the working file and its kept copy, then takes
// it out of the import folder. Only when all three succeeded may it be
// applied: applied without its deletion it would be applied again at the
// next cycle; deleted without a copy it would be lost.
bool prend_fichier(const std::string& dossier, const std::string& nom) {
  const std::string chemin = dossier + nom;
  if (encore_en_ecriture(chemin)) return false;
  if (!copie_fichier(chemin, nom_fichier_analyse)) return false;
  if (copie_fichier(chemin, dossier + nom_copie_gardee(nom)) && supprime_fichier(chemin)) {
    return true;
  }
  // The file stays where it is and comes again next cycle; its content must
  // not wait in the working file, where the test button could apply it.
  supprime_fichier(nom_fichier_analyse);
  return false;
}

}  // namespace

void traite_import(ValeursProgramme& valeurs, FenetreEchange& fenetre) {
  try {
    const std::string dossier = dossier_import(valeurs);
    // Each name is tried once per call: a file that cannot be taken now
    // would otherwise be tried again and again and the cycle never end.
    std::set<std::string> deja_vus;
    for (;;) {
      const std::vector<std::string> noms = fenetre.noms_File1();
      const std::string* suivant = nullptr;
      for (const std::string& nom : noms) {
        if (!deja_vus.contains(nom)) {
          suivant = &nom;
          break;
        }
      }
      if (suivant == nullptr) return;
      const std::string nom = *suivant;
      deja_vus.insert(nom);

      if (prend_fichier(dossier, nom)) {
        fenetre.ajoute_journal(std::string(textes::traitement) + nom);
        applique_analyse(valeurs, fenetre);
      } else {
        fenetre.ajoute_journal(std::string(textes::fichier_non_traite) + nom);
      }
      fenetre.rafraichit_File1();
      fenetre.traite_evenements();
    }
  } catch (const std::bad_alloc&) {
    // What was taken is applied; the rest waits for the next cycle.
  }
}

}  // namespace pontex
