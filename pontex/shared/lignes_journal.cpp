#include "pontex/shared/lignes_journal.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "pontex/shared/texte.h"

namespace pontex {

namespace {

// Big enough that a block holds a couple of thousand movement lines, small
// enough that the unused end of the last block does not matter.
constexpr std::size_t taille_bloc = 64 * 1024;

constexpr std::string_view separateur = " - ";

}  // namespace

LignesJournal::Bloc& LignesJournal::bloc_pour(std::size_t longueur) {
  if (!blocs_.empty() && blocs_.back().capacite - blocs_.back().utilise() >= longueur)
    return blocs_.back();
  // A full block takes no more lines: its marks give back what they grew
  // beyond.
  if (!blocs_.empty()) {
    blocs_.back().lignes.shrink_to_fit();
    blocs_.back().horodatages.shrink_to_fit();
    blocs_.back().textes_horodatages.shrink_to_fit();
  }
  // A line never straddles two blocks; one longer than a block gets a
  // block of its own size.
  Bloc b;
  b.capacite = std::max(taille_bloc, longueur);
  b.octets = std::make_unique_for_overwrite<char[]>(b.capacite);
  b.premiere = taille_;
  blocs_.push_back(std::move(b));
  return blocs_.back();
}

void LignesJournal::ajoute(std::string_view horodatage, std::string_view message,
                           SorteLigne sorte) {
  // A line's length is kept in 32 bits: a message of 4 GB (which no file
  // the server sends can produce) would be cut there.
  constexpr std::size_t plus_long = std::numeric_limits<std::uint32_t>::max() - 64;
  message = message.substr(0, std::min(message.size(), plus_long));
  const std::size_t espaces =
      std::min<std::size_t>(message.size() - sans_espaces_finaux(message).size(),
                            std::numeric_limits<std::uint16_t>::max());
  const std::size_t garde = message.size() - espaces;
  Bloc& b = bloc_pour(garde);
  const auto j = static_cast<std::uint32_t>(taille_ - b.premiere);
  if (b.horodatages.empty() ||
      std::string_view(b.textes_horodatages).substr(b.horodatages.back().debut) != horodatage) {
    b.horodatages.push_back({j, static_cast<std::uint32_t>(b.textes_horodatages.size())});
    b.textes_horodatages += horodatage;
  }
  const std::size_t debut = b.utilise();
  if (garde != 0) std::memcpy(b.octets.get() + debut, message.data(), garde);
  b.lignes.push_back(
      {static_cast<std::uint32_t>(debut + garde), static_cast<std::uint16_t>(espaces), sorte});
  ++taille_;
}

const LignesJournal::Bloc& LignesJournal::bloc_de(std::size_t i) const {
  // Every block holds at least one line: the last one starting at or
  // before i holds it.
  const auto apres = std::upper_bound(blocs_.begin(), blocs_.end(), i,
                                      [](std::size_t n, const Bloc& b) { return n < b.premiere; });
  return *(apres - 1);
}

std::string_view LignesJournal::horodatage_de(const Bloc& b, std::size_t j) {
  const auto apres =
      std::upper_bound(b.horodatages.begin(), b.horodatages.end(), j,
                       [](std::size_t n, const Horodatage& h) { return n < h.premiere; });
  const std::size_t fin = apres == b.horodatages.end() ? b.textes_horodatages.size() : apres->debut;
  const std::size_t debut = (apres - 1)->debut;
  return std::string_view(b.textes_horodatages).substr(debut, fin - debut);
}

std::string LignesJournal::ligne(std::size_t i) const {
  const Bloc& b = bloc_de(i);
  const std::size_t j = i - b.premiere;
  const Ligne& l = b.lignes[j];
  const std::size_t debut = j == 0 ? 0 : b.lignes[j - 1].fin;
  const std::string_view horodatage = horodatage_de(b, j);
  std::string texte;
  texte.reserve(horodatage.size() + separateur.size() + (l.fin - debut) + l.espaces);
  texte += horodatage;
  texte += separateur;
  texte.append(b.octets.get() + debut, l.fin - debut);
  texte.append(l.espaces, ' ');
  return texte;
}

SorteLigne LignesJournal::sorte(std::size_t i) const {
  const Bloc& b = bloc_de(i);
  return b.lignes[i - b.premiere].sorte;
}

}  // namespace pontex
