#include <chrono>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/exchange/articles_echange.h"
#include "pontex/exchange/echange.h"
#include "pontex/exchange/fichiers_appliques.h"
#include "pontex/exchange/reprise.h"
#include "pontex/exchange/textes_journal.h"
#include "pontex/shared/arret_systeme.h"
#include "pontex/shared/entrees_dossier.h"
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

// Names handled between two refreshes of the window's import list.
constexpr std::size_t fichiers_par_affichage = 50;

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
  // On the disk before the working file exists: a working file is never
  // found without what tells how far it was applied.
  if (!SuiviReprise::note_prise(nom)) return Prise::laissee;
  Refus refus = Refus::aucun;
  if (!copie_entree(
          {import, nom},
          {{dossiers.courant, std::string(nom_fichier_analyse)}, {import, nom_copie_gardee(nom)}},
          taille_max_recu, refus)) {
    // The file stays where it is and comes again next cycle; its content
    // must not wait in the working file, where the test button could apply
    // it. Whatever is left is settled by the next start's resume.
    (void)supprime_fichier(nom_fichier_analyse);
    (void)supprime_fichier(nom_fichier_reprise);  // one left behind is settled at the next start
    return refus == Refus::trop_volumineux ? Prise::trop_volumineuse : Prise::laissee;
  }
  if (supprime_entree({import, nom})) return Prise::prise;
  (void)supprime_fichier(nom_fichier_analyse);  // as above
  (void)supprime_fichier(nom_fichier_reprise);
  return Prise::laissee;
}

// The record of applied files is what catches a file sent again: while it
// cannot be read or written, that is said, as a re-send would be applied.
void signale_appliques(FenetreEchange& fenetre, const Resultat& r) {
  if (!r) fenetre.ajoute_journal(std::string(textes::appliques_non_ecrits) + r.raison());
}

// The day's error file gets the line too: the server reads that file, and
// must learn that what it sent again was not applied.
void signale_deja_traite(const ValeursProgramme& valeurs, FenetreEchange& fenetre,
                         const DossierTenu& import, const std::string& nom) {
  std::string ligne(textes::fichier_deja_traite);
  ligne += nom;
  fenetre.ajoute_journal(ligne);
  ligne += "\r\n";
  // Not written (a full disk): the journal line is all there is.
  (void)ajoute_entree({import, nom_fichier_erreurs(valeurs)}, ligne);
}

// Applies a file just taken, unless it is one applied before. False when
// its application stopped before its end and the working file waits for
// the next start.
bool applique_pris(ValeursProgramme& valeurs, FenetreEchange& fenetre, FichiersAppliques& appliques,
                   const DossierTenu& import, const std::string& nom) {
  // The removal goes to the disk before any record is applied: after a
  // power cut, the file must not be back in the folder once applied. Not
  // possible (a share that refuses it): the record of applied files below
  // still keeps it from being applied twice.
  (void)synchronise_dossier(import);
  std::uint64_t taille = 0, valeur = 0;
  const bool lu = static_cast<bool>(empreinte_fichier(nom_fichier_analyse, taille, valeur));
  if (lu && appliques.contient(nom, taille, valeur)) {
    // Left in place, the working file would be applied by the next start.
    // A progress file goes after it, never before (a working file without
    // one is a file whose application has not begun).
    if (!supprime_fichier(nom_fichier_analyse)) return false;
    (void)supprime_fichier(nom_fichier_reprise);  // usually there is none yet
    signale_deja_traite(valeurs, fenetre, import, nom);
    return true;
  }
  fenetre.ajoute_journal(std::string(textes::traitement) + nom);
  if (!applique_import(valeurs, fenetre, nom)) return false;
  // Not recorded (unreadable working file, full disk): the file would be
  // applied again if it came back, which is what was done before there was
  // a record at all.
  if (lu) signale_appliques(fenetre, appliques.ajoute(nom, taille, valeur));
  return true;
}

// An application that an earlier process left unfinished is finished first.
// Once it is, its received file counts as applied like any other, from
// whatever state it was taken up: the resume names it, with the size and
// digest of the bytes it applied. False when it still cannot finish.
bool reprend_et_note(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                     FichiersAppliques& appliques) {
  std::optional<FichierTermine> termine;
  if (!reprend_analyse(valeurs, fenetre, termine)) return false;
  // A working file put there by other means names no received file.
  if (termine && termine->nom != nom_fichier_analyse)
    signale_appliques(fenetre, appliques.ajoute(termine->nom, termine->taille, termine->empreinte));
  return true;
}

}  // namespace

void traite_import(ValeursProgramme& valeurs, FenetreEchange& fenetre) {
  try {
    const TenueDossiers dossiers(valeurs, fenetre);
    FichiersAppliques appliques;
    signale_appliques(fenetre, appliques.charge(valeurs.horloge->maintenant()));
    // While an earlier application cannot finish, no file may take its
    // working file's place.
    if (analyse_en_attente() && !reprend_et_note(valeurs, fenetre, appliques)) return;
    // A refused import folder, or none: nothing to take.
    const DossierTenu& import = dossiers->reception;
    if (!import.ouvert()) return;

    // The folder is read once: reading it again after every file would make
    // the exchange's time grow with the square of the files waiting. A file
    // arriving meanwhile waits for the next exchange.
    std::vector<EntreeDossier> entrees;
    // From the held folder: the window's list reads the folder by its name,
    // which may lead elsewhere by now.
    (void)liste_entrees_detaillees(import, motif_File1, entrees);  // unreadable: nothing
    // The exchange's clock: a test's pinned clock never runs out of time.
    const Horloge& horloge = *valeurs.horloge;
    const auto debut = horloge.instant();
    auto affiche = debut;
    std::size_t vus = 0, vus_affiches = 0;
    for (const EntreeDossier& entree : entrees) {
      if (vus == noms_par_echange || horloge.instant() - debut >= duree_import_max) break;
      // A stop asked by the system takes no further file: what waits in
      // the import folder stays there for the next start.
      if (arret_demande()) break;
      ++vus;
      const std::string& nom = entree.nom;
      // A pipe or a device is never opened: reading one may never end.
      switch (entree.fichier ? prend_fichier(valeurs, *dossiers, nom) : Prise::laissee) {
        case Prise::prise:
          if (!applique_pris(valeurs, fenetre, appliques, import, nom)) {
            fenetre.rafraichit_File1();
            return;
          }
          break;
        case Prise::laissee:
          fenetre.ajoute_journal(std::string(textes::fichier_non_traite) + nom);
          break;
        case Prise::trop_volumineuse:
          fenetre.ajoute_journal(std::string(textes::fichier_trop_volumineux) + nom);
          break;
      }
      // The list box reads the whole folder at each refresh: once a second,
      // and not before a few more files are gone, is enough for the eye.
      if (vus - vus_affiches >= fichiers_par_affichage &&
          horloge.instant() - affiche >= std::chrono::seconds(1)) {
        fenetre.rafraichit_File1();
        affiche = horloge.instant();
        vus_affiches = vus;
      }
      fenetre.traite_evenements();
    }
    if (vus > 0) fenetre.rafraichit_File1();
  } catch (const std::bad_alloc&) {
    // What was taken is applied; the rest waits for the next cycle.
  }
}

}  // namespace pontex
