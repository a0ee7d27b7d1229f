#pragma once
// The received files applied in the last 31 days, "fichiers_appliques.wdo"
// beside "Pontex.wdo": a file that comes back into the import folder under
// the same name with the same bytes (an unlink lost in a power cut, the
// server sending it again) is recognised and not applied a second time.
//
// Fixed-size records of 256 bytes, little-endian, each whole in itself with
// its own check sum: appended one at a time and put on the disk, so a record
// torn by a power cut reads as absent and the next append writes over it.
// An entry is appended only once its file is wholly applied: a kill at any
// point can at worst forget a file applied, never skip one that was not.

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <tuple>

#include "pontex/shared/horloge.h"
#include "pontex/shared/resultat.h"

namespace pontex {

inline constexpr std::string_view nom_fichier_appliques = "fichiers_appliques.wdo";
// How long a file applied is remembered, in days.
inline constexpr int jours_gardes_appliques = 31;

class FichiersAppliques {
 public:
  // Reads the file and forgets entries older than 31 days before `aujourdhui`
  // (the file is then rewritten without them, through a temporary file
  // renamed over it). A missing file remembers nothing; one that cannot be
  // read (a folder, a pipe or a link under its name included, never opened)
  // remembers nothing either and fails, as does a rewrite that failed.
  Resultat charge(const DateHeure& aujourdhui);

  bool contient(std::string_view nom, std::uint64_t taille, std::uint64_t empreinte) const;

  // Appends the entry of a file wholly applied and puts it on the disk.
  // The whole name counts, whatever its length: the entry keeps its digest
  // and length, and its first bytes for whoever reads the file.
  Resultat ajoute(std::string_view nom, std::uint64_t taille, std::uint64_t empreinte);

  static constexpr std::size_t longueur = 256;

 private:
  // Name, size and digest of the bytes; the name is kept as its digest.
  using Cle = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>;
  static Cle cle(std::string_view nom, std::uint64_t taille, std::uint64_t empreinte);

  std::set<Cle> connus_;
  std::int64_t jour_ = 0;  // today, in days since 1970
};

}  // namespace pontex
