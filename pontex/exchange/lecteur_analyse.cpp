#include "pontex/exchange/lecteur_analyse.h"

#include <algorithm>
#include <cstdint>

#include "pontex/shared/encodage.h"
#include "pontex/shared/fichiers_transit.h"

namespace pontex {

namespace {

constexpr std::string_view marque_utf8 = "\xEF\xBB\xBF";

bool ascii(std::string_view texte) {
  return std::all_of(texte.begin(), texte.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

void ApercuAnalyse::ajoute(std::string_view bloc) {
  if (debut_.size() < marque_utf8.size()) {
    debut_ += bloc.substr(0, marque_utf8.size() - debut_.size());
    marque_ = debut_ == marque_utf8;
  }
  // Nothing larger is taken from the import folder; a larger working file
  // put there by hand is decided on its first 64 MiB.
  if (taille_ < taille_max_recu)
    detection_.ajoute(bloc.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(
                                         bloc.size(), taille_max_recu - taille_))));
  empreinte_ = pontex::empreinte(bloc, empreinte_);
  taille_ += bloc.size();
}

// The whole file, not the part still to apply: a run resumed after a stop
// must read the same references as the run it continues.
Resultat lit_apercu(std::string_view chemin, ApercuAnalyse& apercu) {
  apercu = ApercuAnalyse{};
  FichierRecords f;
  if (Resultat r = f.ouvre(chemin, 1); !r) return r;
  std::string bloc(LecteurAnalyse::taille_bloc, '\0');
  for (;;) {
    std::size_t lus = 0;
    if (Resultat r =
            f.lit(static_cast<std::int64_t>(apercu.taille()) + 1, bloc.data(), bloc.size(), lus);
        !r)
      return r;
    if (lus == 0) return Resultat::succes();
    apercu.ajoute(std::string_view(bloc.data(), lus));
  }
}

Resultat LecteurAnalyse::ouvre(std::string_view chemin, std::int64_t depuis) {
  ApercuAnalyse apercu;
  if (Resultat r = lit_apercu(chemin, apercu); !r) return r;
  return ouvre(chemin, depuis, apercu);
}

Resultat LecteurAnalyse::ouvre(std::string_view chemin, std::int64_t depuis,
                               const ApercuAnalyse& apercu) {
  tampon_.clear();
  origine_ = depuis < 0 ? 0 : depuis;
  debut_ = cherche_ = 0;
  fin_ = termine_ = echec_ = saute_ = false;
  utf8_ = apercu.utf8();
  if (apercu.marque() && origine_ < static_cast<std::int64_t>(marque_utf8.size()))
    origine_ = static_cast<std::int64_t>(marque_utf8.size());
  // Records of one byte: any position can be read.
  return fichier_.ouvre(chemin, 1);
}

void LecteurAnalyse::convertit(LigneAnalyse& ligne) {
  ligne.remplace = std::string_view::npos;
  if (!utf8_ || ascii(ligne.texte)) return;
  converti_.clear();
  ligne.remplace = vers_cp1252(ligne.texte, converti_);
  ligne.texte = converti_;
}

bool LecteurAnalyse::remplit() {
  // What lies before the current line is done with.
  tampon_.erase(0, debut_);
  origine_ += static_cast<std::int64_t>(debut_);
  cherche_ -= debut_;
  debut_ = 0;
  const std::size_t deja = tampon_.size();
  tampon_.resize(deja + taille_bloc);
  std::size_t lus = 0;
  const Resultat r = fichier_.lit(origine_ + static_cast<std::int64_t>(deja) + 1,
                                  tampon_.data() + deja, taille_bloc, lus);
  tampon_.resize(deja + lus);
  if (!r) echec_ = true;
  if (!r || lus == 0) fin_ = true;
  return lus > 0;
}

bool LecteurAnalyse::suivante(LigneAnalyse& ligne) {
  if (termine_ || echec_) return false;
  for (;;) {
    const std::size_t i = tampon_.find_first_of("\r\n", cherche_);
    if (i != std::string::npos) {
      // A CR at the end of what was read may be the first half of a CR LF.
      if (tampon_[i] == '\r' && i + 1 == tampon_.size() && !fin_) {
        cherche_ = i;
        remplit();
        if (echec_) return false;
        continue;
      }
      std::size_t apres = i + 1;
      if (tampon_[i] == '\r' && apres < tampon_.size() && tampon_[apres] == '\n') ++apres;
      ligne.suivante = origine_ + static_cast<std::int64_t>(apres);
      if (saute_) {
        ligne.sorte = LigneAnalyse::Sorte::trop_longue;
        ligne.texte = debut_long_;
        ligne.debut = position_longue_;
        saute_ = false;
      } else if (i - debut_ > longueur_max) {
        // Found within the last block read: the bound holds wherever the
        // blocks happen to fall.
        ligne.sorte = LigneAnalyse::Sorte::trop_longue;
        ligne.texte = std::string_view(tampon_).substr(debut_, debut_montre);
        ligne.debut = origine_ + static_cast<std::int64_t>(debut_);
      } else {
        ligne.sorte = LigneAnalyse::Sorte::record;
        ligne.texte = std::string_view(tampon_).substr(debut_, i - debut_);
        ligne.debut = origine_ + static_cast<std::int64_t>(debut_);
      }
      debut_ = cherche_ = apres;
      convertit(ligne);
      return true;
    }
    if (!saute_ && tampon_.size() - debut_ > longueur_max) {
      saute_ = true;
      debut_long_ = tampon_.substr(debut_, debut_montre);
      position_longue_ = origine_ + static_cast<std::int64_t>(debut_);
    }
    if (saute_) debut_ = tampon_.size();  // nothing of it is kept
    cherche_ = tampon_.size();
    if (fin_) {
      termine_ = true;
      if (!saute_ && debut_ == tampon_.size()) return false;
      ligne.sorte = LigneAnalyse::Sorte::incomplete;
      if (saute_) {
        ligne.texte = debut_long_;
        ligne.debut = position_longue_;
      } else {
        ligne.texte = std::string_view(tampon_).substr(debut_, debut_montre);
        ligne.debut = origine_ + static_cast<std::int64_t>(debut_);
      }
      ligne.suivante = origine_ + static_cast<std::int64_t>(tampon_.size());
      convertit(ligne);
      return true;
    }
    remplit();
    if (echec_) return false;
  }
}

}  // namespace pontex
