#pragma once
// The movements of ours appended to "W_CAIREC.WDO" and not yet checked: the
// check comes after the whole received file, so a large delivery keeps a
// hundred thousand of them. Those of one file share most of their bytes
// (the date, the post, the user, the origin, the codes' padding): each is
// kept as the bytes where it differs from the one kept before it, in blocks
// that never move. The bytes are compared as they are, whatever field they
// belong to; the records come back whole and in the order they were kept.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "pontex/data/enregistrements.h"

namespace pontex {

// A movement of ours as appended: its number and its bytes.
struct MouvementAjoute {
  std::int64_t numero = 0;
  EnregistrementMouvement enregistrement;
};

class MouvementsEcrits {
 public:
  void ajoute(const MouvementAjoute& m);
  std::size_t taille() const { return taille_; }
  bool vide() const { return taille_ == 0; }
  // Whether their numbers never went down from one to the next.
  bool en_ordre() const { return en_ordre_; }
  // Puts them in the order of their numbers, those of the same number as
  // they were.
  void trie();

  // Reads them back, from the first kept.
  class Lecteur {
   public:
    explicit Lecteur(const MouvementsEcrits& m) : m_(m) {}
    // The next one; false past the last.
    bool suivant(MouvementAjoute& m);

   private:
    const MouvementsEcrits& m_;
    std::size_t lus_ = 0;
    std::size_t bloc_ = 0;
    std::size_t position_ = 0;
    MouvementAjoute precedent_;
  };

 private:
  struct Bloc {
    std::unique_ptr<std::uint8_t[]> octets;
    std::size_t utilise = 0;
  };

  std::vector<Bloc> blocs_;
  std::size_t taille_ = 0;
  bool en_ordre_ = true;
  MouvementAjoute dernier_;  // the one each is kept against; zeros at first
};

}  // namespace pontex
