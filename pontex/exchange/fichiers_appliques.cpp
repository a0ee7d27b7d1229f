#include "pontex/exchange/fichiers_appliques.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <vector>

#include "pontex/shared/entrees_dossier.h"
#include "pontex/shared/fichier_records.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/octets.h"

namespace pontex {

namespace {

// Layout of one record.
constexpr std::string_view signature = "PXAPPLI1";
namespace champ {
constexpr Champ signature{0, 8, Sorte::octets};
constexpr Champ jour{8, 8, Sorte::entier};            // day applied, days since 1970
constexpr Champ taille{16, 8, Sorte::entier};         // the file's size
constexpr Champ empreinte{24, 8, Sorte::entier};      // digest of its bytes
constexpr Champ empreinte_nom{32, 8, Sorte::entier};  // digest of its name as listed
constexpr Champ longueur_nom{40, 2, Sorte::entier};   // the name's length (its low 16 bits)
constexpr Champ nom{42, 206, Sorte::octets};          // its first bytes, for whoever reads the file
constexpr Champ controle{248, 8, Sorte::entier};      // digest of every byte before it
constexpr Champ champs[] = {signature,     jour,         taille, empreinte,
                            empreinte_nom, longueur_nom, nom,    controle};
static_assert(champs_disjoints(champs, FichiersAppliques::longueur) &&
              controle.fin() == FichiersAppliques::longueur);
}  // namespace champ

using Record = std::array<std::uint8_t, FichiersAppliques::longueur>;

std::uint64_t controle(const std::uint8_t* p) {
  return empreinte(std::string_view(reinterpret_cast<const char*>(p), champ::controle.offset));
}

std::int64_t jour_de(const DateHeure& d) {
  using namespace std::chrono;
  const sys_days jour{year{d.annee} / month{static_cast<unsigned>(d.mois)} /
                      day{static_cast<unsigned>(d.jour)}};
  return jour.time_since_epoch().count();
}

// Only a plain file is read or written, its type asked of the name itself:
// a pipe put under this name would make the exchange wait on it for ever,
// and a folder or a link is nothing we wrote.
Resultat verifie_fichier_simple() {
  if (!existe_entree(nom_fichier_appliques) || taille_fichier(nom_fichier_appliques))
    return Resultat::succes();
  return Resultat::echec(std::string(nom_fichier_appliques) + " is not a plain file");
}

Resultat ecrit_records(const std::string& chemin, const std::vector<std::uint8_t>& octets,
                       bool depuis_vide) {
  FichierRecords f;
  if (Resultat r =
          f.ouvre(chemin, FichiersAppliques::longueur, FichierRecords::Creation::si_absent);
      !r)
    return r;
  // Whole records only: a torn record left by a power cut at the end is
  // written over, never kept in front of the new one.
  const std::int64_t premier = depuis_vide ? 1 : f.nombre_records() + 1;
  if (Resultat r = f.ecrit(premier, octets.data(), octets.size() / FichiersAppliques::longueur); !r)
    return r;
  return f.vide_tampons();
}

}  // namespace

FichiersAppliques::Cle FichiersAppliques::cle(std::string_view nom, std::uint64_t taille,
                                              std::uint64_t valeur) {
  return {empreinte(nom), taille, valeur};
}

Resultat FichiersAppliques::charge(const DateHeure& aujourdhui) {
  connus_.clear();
  jour_ = jour_de(aujourdhui);
  if (!existe_entree(nom_fichier_appliques)) return Resultat::succes();  // nothing applied yet
  if (Resultat r = verifie_fichier_simple(); !r) return r;
  std::string contenu;
  if (Resultat r = lit_texte(nom_fichier_appliques, contenu); !r) return r;
  std::vector<std::uint8_t> gardes;
  bool a_recrire = contenu.size() % longueur != 0;
  for (std::size_t debut = 0; debut + longueur <= contenu.size(); debut += longueur) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(contenu.data() + debut);
    if (octets::lit_texte(p, champ::signature) != signature ||
        octets::lit_entier(p, champ::controle) != controle(p)) {
      a_recrire = true;
      continue;
    }
    const auto jour = static_cast<std::int64_t>(octets::lit_entier(p, champ::jour));
    if (jour_ - jour > jours_gardes_appliques) {
      a_recrire = true;
      continue;
    }
    connus_.insert({octets::lit_entier(p, champ::empreinte_nom),
                    octets::lit_entier(p, champ::taille), octets::lit_entier(p, champ::empreinte)});
    gardes.insert(gardes.end(), p, p + longueur);
  }
  if (!a_recrire) return Resultat::succes();
  // Rewritten whole under another name, then renamed over it: a kill leaves
  // either the old file or the new one, each whole.
  const std::string provisoire = std::string(nom_fichier_appliques) + ".tmp";
  (void)supprime_fichier(provisoire);  // a leftover would add its records
  Resultat r = ecrit_records(provisoire, gardes, true);
  if (r) r = renomme_fichier(provisoire, nom_fichier_appliques);
  if (!r) {
    // The old file stays: its old entries are read again and dropped next
    // time, which changes nothing of what is remembered now; what refused
    // the rewrite (a full disk) is said all the same.
    (void)supprime_fichier(provisoire);  // a leftover is removed before the next rewrite
    return r;
  }
  (void)synchronise_dossier("");  // the rename on the disk; if not, the old file is as good
  return Resultat::succes();
}

bool FichiersAppliques::contient(std::string_view nom, std::uint64_t taille,
                                 std::uint64_t valeur) const {
  return connus_.contains(cle(nom, taille, valeur));
}

Resultat FichiersAppliques::ajoute(std::string_view nom, std::uint64_t taille,
                                   std::uint64_t valeur) {
  // Already there: a resume after a power cut that found the file finished
  // but its progress file not yet gone names it again.
  if (contient(nom, taille, valeur)) return Resultat::succes();
  Record r{};
  octets::ecrit_octets(r.data(), champ::signature, signature);
  octets::ecrit_entier(r.data(), champ::jour, static_cast<std::uint64_t>(jour_));
  octets::ecrit_entier(r.data(), champ::taille, taille);
  octets::ecrit_entier(r.data(), champ::empreinte, valeur);
  octets::ecrit_entier(r.data(), champ::empreinte_nom, empreinte(nom));
  octets::ecrit_entier(r.data(), champ::longueur_nom, nom.size());
  octets::ecrit_octets(r.data(), champ::nom, nom);
  octets::ecrit_entier(r.data(), champ::controle, controle(r.data()));
  if (Resultat res = verifie_fichier_simple(); !res) return res;
  const bool nouveau = !taille_fichier(nom_fichier_appliques).has_value();
  if (Resultat res = ecrit_records(std::string(nom_fichier_appliques),
                                   std::vector<std::uint8_t>(r.begin(), r.end()), false);
      !res)
    return res;
  // A file just created is not found after a power cut unless its folder
  // entry is on the disk too.
  if (nouveau) (void)synchronise_dossier("");
  connus_.insert(cle(nom, taille, valeur));
  return Resultat::succes();
}

}  // namespace pontex
