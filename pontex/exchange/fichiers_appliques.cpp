#include "pontex/exchange/fichiers_appliques.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <vector>

#include "pontex/exchange/reprise.h"
#include "pontex/shared/entrees_dossier.h"
#include "pontex/shared/fichier_records.h"
#include "pontex/shared/fichiers.h"

namespace pontex {

namespace {

// Layout of one record.
constexpr std::string_view signature = "PXAPPLI1";
constexpr std::size_t o_jour = 8,  // day applied, days since 1970 (i64)
    o_taille = 16,                 // the file's size (u64)
    o_empreinte = 24,              // digest of its bytes (u64)
    o_empreinte_nom = 32,          // digest of its name as listed (u64)
    o_longueur_nom = 40,           // the name's length (u16)
    o_nom = 42,                    // its first bytes, for whoever reads the file
    o_controle = FichiersAppliques::longueur - 8;
constexpr std::size_t longueur_nom_gardee = o_controle - o_nom;

using Record = std::array<std::uint8_t, FichiersAppliques::longueur>;

void met_u64(Record& r, std::size_t o, std::uint64_t v) {
  for (std::size_t i = 0; i < 8; ++i) r[o + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint64_t lit_u64(const std::uint8_t* p, std::size_t o) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < 8; ++i) v |= std::uint64_t{p[o + i]} << (8 * i);
  return v;
}

std::uint64_t controle(const std::uint8_t* p) {
  return empreinte(std::string_view(reinterpret_cast<const char*>(p), o_controle));
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
    if (std::memcmp(p, signature.data(), signature.size()) != 0 ||
        lit_u64(p, o_controle) != controle(p)) {
      a_recrire = true;
      continue;
    }
    const auto jour = static_cast<std::int64_t>(lit_u64(p, o_jour));
    if (jour_ - jour > jours_gardes_appliques) {
      a_recrire = true;
      continue;
    }
    connus_.insert({lit_u64(p, o_empreinte_nom), lit_u64(p, o_taille), lit_u64(p, o_empreinte)});
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
  std::memcpy(r.data(), signature.data(), signature.size());
  met_u64(r, o_jour, static_cast<std::uint64_t>(jour_));
  met_u64(r, o_taille, taille);
  met_u64(r, o_empreinte, valeur);
  met_u64(r, o_empreinte_nom, empreinte(nom));
  r[o_longueur_nom] = static_cast<std::uint8_t>(nom.size() & 0xFF);
  r[o_longueur_nom + 1] = static_cast<std::uint8_t>((nom.size() >> 8) & 0xFF);
  std::memcpy(r.data() + o_nom, nom.data(), std::min(nom.size(), longueur_nom_gardee));
  met_u64(r, o_controle, controle(r.data()));
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
