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
#include "pontex/shared/fichiers_transit.h"

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

bool encore_en_ecriture(const Emplacement& recu) {
  const std::optional<std::chrono::nanoseconds> modifie = date_entree(recu);
  if (!modifie) return false;  // the copy will tell whether the file is there
  // With its sub-second part: a file changed 1.6 s ago is still too young.
  const std::chrono::duration<double> age =
      std::chrono::system_clock::now().time_since_epoch() - *modifie;
  // A time in the future (a server whose clock runs ahead) holds nothing back.
  return age.count() >= 0.0 && age.count() < delai_ecriture_secondes;
}

// What became of one listed name.
enum class Prise { prise, laissee, trop_volumineuse };

// Puts the received file into the working file and its kept copy, then takes
// it out of the import folder. Only when all three succeeded may it be
// applied: applied without its deletion it would be applied again at the
// next cycle; deleted without a copy it would be lost.
//
// The server writes this folder: a listed name is one name, never a path
// (a name holding "\" would reach outside the folder), the file is read only
// if it is a plain file (never through a link, which could expose any file
// of the shop to the server through the kept copy and the error file), and
// its size is bounded. Everything goes through the import folder the
// exchange holds, whatever the name "import" leads to by now.
Prise prend_fichier(const ValeursProgramme& valeurs, const DossiersEchange& dossiers,
                    const std::string& nom) {
  if (!nom_simple(nom)) return Prise::laissee;
  const DossierTenu& import = dossiers.reception;
  // An unknown reference must never be dropped: when the day's error file
  // cannot be written, the file waits for a cycle where it can.
  if (!verifie_ajout({import, nom_fichier_erreurs(valeurs)})) return Prise::laissee;
  if (encore_en_ecriture({import, nom})) return Prise::laissee;
  Refus refus = Refus::aucun;
  if (!copie_entree(
          {import, nom},
          {{dossiers.courant, std::string(nom_fichier_analyse)}, {import, nom_copie_gardee(nom)}},
          taille_max_recu, refus)) {
    return refus == Refus::trop_volumineux ? Prise::trop_volumineuse : Prise::laissee;
  }
  if (supprime_entree({import, nom})) return Prise::prise;
  // The file stays where it is and comes again next cycle; its content must
  // not wait in the working file, where the test button could apply it.
  (void)supprime_fichier(nom_fichier_analyse);
  return Prise::laissee;
}

}  // namespace

void traite_import(ValeursProgramme& valeurs, FenetreEchange& fenetre) {
  try {
    const TenueDossiers dossiers(valeurs, fenetre);
    // An application that an earlier process left unfinished comes first;
    // while it cannot finish, no file may take its working file's place.
    if (analyse_en_attente() && !applique_analyse(valeurs, fenetre)) return;
    // A refused import folder, or none: nothing to take.
    if (!dossiers->reception.ouvert()) return;
    // Each name is tried once per call: a file that cannot be taken now
    // would otherwise be tried again and again and the cycle never end.
    std::set<std::string> deja_vus;
    for (;;) {
      // From the held folder: the window's list reads the folder by its
      // name, which may lead elsewhere by now. Unreadable, it lists nothing
      // and the import ends.
      std::vector<std::string> noms;
      (void)liste_entrees(dossiers->reception, motif_File1, noms);
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

      switch (prend_fichier(valeurs, *dossiers, nom)) {
        case Prise::prise:
          fenetre.ajoute_journal(std::string(textes::traitement) + nom);
          if (!applique_import(valeurs, fenetre, nom)) return;
          break;
        case Prise::laissee:
          fenetre.ajoute_journal(std::string(textes::fichier_non_traite) + nom);
          break;
        case Prise::trop_volumineuse:
          fenetre.ajoute_journal(std::string(textes::fichier_trop_volumineux) + nom);
          break;
      }
      fenetre.rafraichit_File1();
      fenetre.traite_evenements();
    }
  } catch (const std::bad_alloc&) {
    // What was taken is applied; the rest waits for the next cycle.
  }
}

}  // namespace pontex
