#include "pontex/data/mouvements_ecrits.h"

#include <algorithm>

namespace pontex {

namespace {

// One kept movement: the step from the number before (7 bits a byte, low
// first; a step down wraps round and takes ten bytes), one byte telling
// which of the record's eight words differ from the record before, and for
// each of those, one byte telling which of its bytes differ, then those
// bytes.
constexpr std::size_t mots = EnregistrementMouvement::longueur / 8;
static_assert(mots * 8 == EnregistrementMouvement::longueur && mots <= 8);
constexpr std::size_t entree_max = 10 + 1 + mots + EnregistrementMouvement::longueur;

// Large enough to keep a few thousand movements, small enough that the
// unused end of the last block does not matter.
constexpr std::size_t taille_bloc = 64 * 1024;

std::uint8_t* ecrit_pas(std::uint8_t* p, std::uint64_t pas) {
  while (pas >= 0x80) {
    *p++ = static_cast<std::uint8_t>(pas | 0x80);
    pas >>= 7;
  }
  *p++ = static_cast<std::uint8_t>(pas);
  return p;
}

const std::uint8_t* lit_pas(const std::uint8_t* p, std::uint64_t& pas) {
  pas = 0;
  for (unsigned decalage = 0;; decalage += 7) {
    const std::uint8_t o = *p++;
    pas |= std::uint64_t{o & 0x7Fu} << decalage;
    if ((o & 0x80) == 0) return p;
  }
}

std::uint8_t* ecrit_differences(std::uint8_t* p, const EnregistrementMouvement& avant,
                                const EnregistrementMouvement& apres) {
  std::uint8_t* const marque_mots = p++;
  *marque_mots = 0;
  for (std::size_t m = 0; m < mots; ++m) {
    std::uint8_t marque = 0;
    for (std::size_t b = 0; b < 8; ++b)
      if (avant.octets[m * 8 + b] != apres.octets[m * 8 + b]) marque |= std::uint8_t(1u << b);
    if (marque == 0) continue;
    *marque_mots |= std::uint8_t(1u << m);
    *p++ = marque;
    for (std::size_t b = 0; b < 8; ++b)
      if (marque & (1u << b)) *p++ = apres.octets[m * 8 + b];
  }
  return p;
}

const std::uint8_t* lit_differences(const std::uint8_t* p, EnregistrementMouvement& e) {
  const std::uint8_t marque_mots = *p++;
  for (std::size_t m = 0; m < mots; ++m) {
    if ((marque_mots & (1u << m)) == 0) continue;
    const std::uint8_t marque = *p++;
    for (std::size_t b = 0; b < 8; ++b)
      if (marque & (1u << b)) e.octets[m * 8 + b] = *p++;
  }
  return p;
}

}  // namespace

void MouvementsEcrits::ajoute(const MouvementAjoute& m) {
  if (blocs_.empty() || taille_bloc - blocs_.back().utilise < entree_max) {
    Bloc b;
    b.octets = std::make_unique_for_overwrite<std::uint8_t[]>(taille_bloc);
    blocs_.push_back(std::move(b));
  }
  Bloc& b = blocs_.back();
  std::uint8_t* const debut = b.octets.get() + b.utilise;
  const auto pas =
      static_cast<std::uint64_t>(m.numero) - static_cast<std::uint64_t>(dernier_.numero);
  std::uint8_t* p = ecrit_pas(debut, pas);
  p = ecrit_differences(p, dernier_.enregistrement, m.enregistrement);
  b.utilise += static_cast<std::size_t>(p - debut);
  if (m.numero < dernier_.numero && taille_ != 0) en_ordre_ = false;
  dernier_ = m;
  ++taille_;
}

bool MouvementsEcrits::Lecteur::suivant(MouvementAjoute& m) {
  if (lus_ == m_.taille_) return false;
  if (position_ == m_.blocs_[bloc_].utilise) {
    ++bloc_;
    position_ = 0;
  }
  const std::uint8_t* const debut = m_.blocs_[bloc_].octets.get() + position_;
  std::uint64_t pas = 0;
  const std::uint8_t* p = lit_pas(debut, pas);
  precedent_.numero =
      static_cast<std::int64_t>(static_cast<std::uint64_t>(precedent_.numero) + pas);
  p = lit_differences(p, precedent_.enregistrement);
  position_ += static_cast<std::size_t>(p - debut);
  ++lus_;
  m = precedent_;
  return true;
}

void MouvementsEcrits::trie() {
  if (en_ordre_) return;
  // Only after movements appended out of turn (a slot filled after a stop,
  // one appended again): all of them held whole for the while.
  std::vector<MouvementAjoute> tous;
  tous.reserve(taille_);
  Lecteur lecteur(*this);
  for (MouvementAjoute m; lecteur.suivant(m);) tous.push_back(m);
  std::stable_sort(
      tous.begin(), tous.end(),
      [](const MouvementAjoute& a, const MouvementAjoute& b) { return a.numero < b.numero; });
  *this = MouvementsEcrits();
  for (const MouvementAjoute& m : tous) ajoute(m);
}

}  // namespace pontex
