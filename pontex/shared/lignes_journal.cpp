#include "pontex/shared/lignes_journal.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace pontex {

namespace {

// Big enough that a block holds about a thousand movement lines, small
// enough that the unused end of the last block does not matter.
constexpr std::size_t taille_bloc = 64 * 1024;

constexpr std::string_view separateur = " - ";

}  // namespace

char* LignesJournal::place_pour(std::size_t longueur, Repere& r) {
  if (blocs_.empty() || blocs_.back().capacite - blocs_.back().utilise < longueur) {
    // A line never straddles two blocks; one longer than a block gets a
    // block of its own size.
    Bloc b;
    b.capacite = std::max(taille_bloc, longueur);
    b.octets = std::make_unique_for_overwrite<char[]>(b.capacite);
    blocs_.push_back(std::move(b));
  }
  Bloc& b = blocs_.back();
  r.bloc = static_cast<std::uint32_t>(blocs_.size() - 1);
  r.debut = static_cast<std::uint32_t>(b.utilise);
  r.longueur = static_cast<std::uint32_t>(longueur);
  char* p = b.octets.get() + b.utilise;
  b.utilise += longueur;
  return p;
}

void LignesJournal::ajoute(std::string_view horodatage, std::string_view message,
                           SorteLigne sorte) {
  // A line's length is kept in 32 bits: a message of 4 GB (which no file
  // the server sends can produce) would be cut there.
  constexpr std::size_t plus_long = std::numeric_limits<std::uint32_t>::max() - 64;
  message = message.substr(0, std::min(message.size(), plus_long));
  const std::size_t longueur = horodatage.size() + separateur.size() + message.size();
  Repere r{};
  r.sorte = sorte;
  char* p = place_pour(longueur, r);
  std::memcpy(p, horodatage.data(), horodatage.size());
  p += horodatage.size();
  std::memcpy(p, separateur.data(), separateur.size());
  p += separateur.size();
  if (!message.empty()) std::memcpy(p, message.data(), message.size());
  reperes_.push_back(r);
}

std::string_view LignesJournal::ligne(std::size_t i) const {
  const Repere& r = reperes_[i];
  return {blocs_[r.bloc].octets.get() + r.debut, r.longueur};
}

}  // namespace pontex
