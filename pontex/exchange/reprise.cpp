#include "pontex/exchange/reprise.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "pontex/data/enregistrements.h"
#include "pontex/exchange/articles_echange.h"
#include "pontex/exchange/texte_mouvements.h"
#include "pontex/exchange/textes_journal.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/fichiers_transit.h"

namespace pontex {

namespace {

// Layout of the progress record (little-endian). A received file's name of
// up to 255 bytes fits the 512-byte record that earlier versions wrote and
// still read ("PXREPRI1", its length in one byte): a record left by one of
// them at an upgrade is taken up, and one of ours after a downgrade too. A
// longer name (a name escaped for the journal takes four bytes for every
// byte outside Windows-1252) makes the record longer ("PXREPRI2", the name's
// length on four bytes and the record padded to eight bytes): the name is
// kept whole, never cut, since it is what the resume looks for in the import
// folder and enters among the files applied.
constexpr std::string_view signature = "PXREPRI1";
constexpr std::string_view signature_longue = "PXREPRI2";
constexpr std::size_t o_attente = 8, o_taille = 12, o_empreinte = 20, o_numero = 28, o_debut = 36,
                      o_suivante = 44, o_article = 52, o_stock_avant = 56, o_q2_avant = 60,
                      o_stock_apres = 64, o_q2_apres = 68, o_mvt_avant = 72, o_mouvement = 76,
                      o_date = 140, o_taille_err = 150, o_longueur = 158, o_empreinte_ligne = 166,
                      o_longueur_nom = 174, o_nom = 175, longueur_nom_max = 255, o_nom_long = 178;
static_assert(o_nom + longueur_nom_max <= EtatReprise::longueur - 8);

// The record's length for a name of `n` bytes: its check sum in its last
// eight bytes.
std::size_t longueur_pour(std::size_t n) {
  if (n <= longueur_nom_max) return EtatReprise::longueur;
  return std::max(EtatReprise::longueur, (o_nom_long + n + 7) / 8 * 8 + 8);
}

// Little-endian fields, whatever the host: one copy where the host is
// little-endian itself, as the record is rewritten before every record
// applied.
template <typename Entier>
void met_le(std::uint8_t* p, std::size_t o, Entier v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p + o, &v, sizeof v);
  } else {
    for (std::size_t i = 0; i < sizeof v; ++i) p[o + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}
template <typename Entier>
Entier lit_le(const std::uint8_t* p, std::size_t o) {
  Entier v = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, p + o, sizeof v);
  } else {
    for (std::size_t i = 0; i < sizeof v; ++i)
      v |= static_cast<Entier>(Entier{p[o + i]} << (8 * i));
  }
  return v;
}
void met_u64(std::uint8_t* p, std::size_t o, std::uint64_t v) { met_le(p, o, v); }
std::uint64_t lit_u64(const std::uint8_t* p, std::size_t o) { return lit_le<std::uint64_t>(p, o); }
void met_u32(std::uint8_t* p, std::size_t o, std::uint32_t v) { met_le(p, o, v); }
std::uint32_t lit_u32(const std::uint8_t* p, std::size_t o) { return lit_le<std::uint32_t>(p, o); }

// Check sum of the progress record, rewritten before every record applied:
// eight bytes a step, so that it costs little beside the write itself. Over
// every byte before the last eight, where it is kept.
std::uint64_t controle(const std::uint8_t* o, std::size_t longueur) {
  std::uint64_t v = 14695981039346656037ULL;
  for (std::size_t i = 0; i + 8 < longueur; i += 8) {
    v ^= lit_u64(o, i);
    v *= 1099511628211ULL;
    v ^= v >> 32;
  }
  return v;
}

std::uint32_t bits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// Whether the error line under way is in the error file, where it was to go:
// the import folder the exchange holds. Read nowhere else, as a folder that
// the exchange does not hold could be any folder.
bool ligne_erreur_ecrite(const ValeursProgramme& valeurs, const EtatReprise& etat) {
  if (!valeurs.dossiers) return false;
  const Emplacement erreurs{valeurs.dossiers->reception, "erreurs_" + etat.date_erreurs + ".err"};
  const auto taille = taille_entree(erreurs);
  if (!taille || *taille < etat.taille_erreurs + etat.longueur_ligne) return false;
  const auto longueur = static_cast<std::size_t>(etat.longueur_ligne);
  std::string lu;
  if (!lit_entree(erreurs, etat.taille_erreurs, longueur, lu) || lu.size() != longueur)
    return false;
  return empreinte(lu) == etat.empreinte_ligne;
}

}  // namespace

std::vector<std::uint8_t> EtatReprise::encode() const {
  std::vector<std::uint8_t> o;
  encode(o);
  return o;
}

void EtatReprise::encode(std::vector<std::uint8_t>& o) const {
  const bool long_nom = nom.size() > longueur_nom_max;
  o.assign(longueur_pour(nom.size()), 0);
  const std::string_view sig = long_nom ? signature_longue : signature;
  std::memcpy(o.data(), sig.data(), sig.size());
  met_u32(o.data(), o_attente, static_cast<std::uint32_t>(attente));
  met_u64(o.data(), o_taille, taille_fichier);
  met_u64(o.data(), o_empreinte, empreinte_fichier);
  met_u64(o.data(), o_numero, static_cast<std::uint64_t>(numero));
  met_u64(o.data(), o_debut, static_cast<std::uint64_t>(debut));
  met_u64(o.data(), o_suivante, static_cast<std::uint64_t>(suivante));
  met_u32(o.data(), o_article, static_cast<std::uint32_t>(article));
  met_u32(o.data(), o_stock_avant, stock_avant);
  met_u32(o.data(), o_q2_avant, quantite2_avant);
  met_u32(o.data(), o_stock_apres, stock_apres);
  met_u32(o.data(), o_q2_apres, quantite2_apres);
  met_u32(o.data(), o_mvt_avant, static_cast<std::uint32_t>(mouvements_avant));
  std::memcpy(o.data() + o_mouvement, mouvement.data(), mouvement.size());
  std::memcpy(o.data() + o_date, date_erreurs.data(),
              std::min<std::size_t>(date_erreurs.size(), 10));
  met_u64(o.data(), o_taille_err, static_cast<std::uint64_t>(taille_erreurs));
  met_u64(o.data(), o_longueur, static_cast<std::uint64_t>(longueur_ligne));
  met_u64(o.data(), o_empreinte_ligne, empreinte_ligne);
  if (long_nom) {
    met_u32(o.data(), o_longueur_nom, static_cast<std::uint32_t>(nom.size()));
    std::memcpy(o.data() + o_nom_long, nom.data(), nom.size());
  } else {
    o[o_longueur_nom] = static_cast<std::uint8_t>(nom.size());
    std::memcpy(o.data() + o_nom, nom.data(), nom.size());
  }
  met_u64(o.data(), o.size() - 8, controle(o.data(), o.size()));
}

std::optional<EtatReprise> EtatReprise::decode(const std::uint8_t* o, std::size_t taille) {
  if (taille < longueur || taille > longueur_max) return std::nullopt;
  const bool long_nom = std::memcmp(o, signature_longue.data(), signature_longue.size()) == 0;
  if (!long_nom && (taille != longueur || std::memcmp(o, signature.data(), signature.size()) != 0))
    return std::nullopt;
  if (lit_u64(o, taille - 8) != controle(o, taille)) return std::nullopt;
  EtatReprise e;
  if (long_nom) {
    const std::uint32_t n = lit_u32(o, o_longueur_nom);
    // Only a name too long for the short record makes a long one.
    if (n <= longueur_nom_max || longueur_pour(n) != taille) return std::nullopt;
    e.nom.assign(reinterpret_cast<const char*>(o + o_nom_long), n);
  } else {
    e.nom.assign(reinterpret_cast<const char*>(o + o_nom), o[o_longueur_nom]);
  }
  const std::uint32_t attente = lit_u32(o, o_attente);
  if (attente > static_cast<std::uint32_t>(Attente::prise)) return std::nullopt;
  e.attente = static_cast<Attente>(attente);
  e.taille_fichier = lit_u64(o, o_taille);
  e.empreinte_fichier = lit_u64(o, o_empreinte);
  e.numero = static_cast<std::int64_t>(lit_u64(o, o_numero));
  e.debut = static_cast<std::int64_t>(lit_u64(o, o_debut));
  e.suivante = static_cast<std::int64_t>(lit_u64(o, o_suivante));
  e.article = static_cast<std::int32_t>(lit_u32(o, o_article));
  e.stock_avant = lit_u32(o, o_stock_avant);
  e.quantite2_avant = lit_u32(o, o_q2_avant);
  e.stock_apres = lit_u32(o, o_stock_apres);
  e.quantite2_apres = lit_u32(o, o_q2_apres);
  e.mouvements_avant = static_cast<std::int32_t>(lit_u32(o, o_mvt_avant));
  std::memcpy(e.mouvement.data(), o + o_mouvement, e.mouvement.size());
  e.date_erreurs.assign(reinterpret_cast<const char*>(o + o_date), 10);
  e.taille_erreurs = static_cast<std::int64_t>(lit_u64(o, o_taille_err));
  e.longueur_ligne = static_cast<std::int64_t>(lit_u64(o, o_longueur));
  e.empreinte_ligne = lit_u64(o, o_empreinte_ligne);
  // Positions outside the file it names are damage the digest missed.
  const auto t = static_cast<std::int64_t>(e.taille_fichier);
  if (e.numero < 1 || e.debut < 0 || e.suivante < e.debut || e.suivante > t || t < 0 ||
      e.taille_erreurs < 0 || e.longueur_ligne < 0 || e.longueur_ligne > (1 << 20))
    return std::nullopt;
  return e;
}

std::uint64_t empreinte(std::string_view octets, std::uint64_t valeur) {
  for (const char c : octets) {
    valeur ^= static_cast<std::uint8_t>(c);
    valeur *= 1099511628211ULL;
  }
  return valeur;
}

Resultat empreinte_fichier(std::string_view chemin, std::uint64_t& taille, std::uint64_t& valeur) {
  taille = 0;
  valeur = empreinte({});
  FichierRecords f;
  if (Resultat r = f.ouvre(chemin, 1); !r) return r;
  std::string tampon(64 * 1024, '\0');
  for (;;) {
    std::size_t lus = 0;
    if (Resultat r =
            f.lit(static_cast<std::int64_t>(taille) + 1, tampon.data(), tampon.size(), lus);
        !r)
      return r;
    if (lus == 0) return Resultat::succes();
    valeur = empreinte(std::string_view(tampon.data(), lus), valeur);
    taille += lus;
  }
}

Resultat SuiviReprise::commence(const EtatReprise& etat) {
  if (etat.nom.size() > EtatReprise::nom_max)
    return Resultat::echec("name longer than " + std::to_string(EtatReprise::nom_max) +
                           " bytes: " + std::to_string(etat.nom.size()));
  // Written whole and on the disk under another name first: a progress file
  // is never seen empty or half-written, which would read as damaged and
  // keep the file from being applied.
  const std::string provisoire = std::string(nom_fichier_reprise) + ".tmp";
  const auto octets = etat.encode();
  {
    // A longer one left by a kill would keep its end after ours.
    (void)supprime_fichier(provisoire);  // one that stays is caught below
    if (existe_entree(provisoire))
      return Resultat::echec(std::string(provisoire) + " cannot be replaced");
    FichierRecords f;
    if (Resultat r = f.ouvre(provisoire, octets.size(), FichierRecords::Creation::si_absent); !r)
      return r;
    if (Resultat r = f.ecrit(1, octets.data()); !r) return r;
    if (Resultat r = f.vide_tampons(); !r) return r;
  }
  if (Resultat r = renomme_fichier(provisoire, nom_fichier_reprise); !r) return r;
  // The rename itself on the disk too: after a power cut the working file
  // that follows is never found without it, nor beside an older one.
  if (Resultat r = synchronise_dossier(""); !r) return r;
  return fichier_.ouvre(nom_fichier_reprise, octets.size());
}

Resultat SuiviReprise::note_prise(std::string_view nom) {
  EtatReprise etat;
  etat.attente = EtatReprise::Attente::prise;
  etat.nom = std::string(nom);
  SuiviReprise suivi;
  return suivi.commence(etat);
}

Resultat SuiviReprise::note(const EtatReprise& etat) {
  etat.encode(octets_);
  // The name is the same for the whole file, and so the record's length:
  // anything else would write past the record or leave an old end.
  if (octets_.size() != fichier_.longueur_record())
    return Resultat::echec("progress record of another length");
  return fichier_.ecrit(1, octets_.data());
}

Resultat SuiviReprise::termine(EtatReprise& etat) {
  etat.attente = EtatReprise::Attente::termine;
  etat.debut = etat.suivante = static_cast<std::int64_t>(etat.taille_fichier);
  if (Resultat r = note(etat); !r) return r;
  return fichier_.vide_tampons();
}

LectureReprise lit_reprise(EtatReprise& etat) {
  const auto taille = taille_fichier(nom_fichier_reprise);
  if (!taille)
    return existe_entree(nom_fichier_reprise) ? LectureReprise::illisible : LectureReprise::absente;
  if (*taille < static_cast<std::int64_t>(EtatReprise::longueur) ||
      *taille > static_cast<std::int64_t>(EtatReprise::longueur_max))
    return LectureReprise::illisible;
  const auto longueur = static_cast<std::size_t>(*taille);
  FichierRecords f;
  if (!f.ouvre(nom_fichier_reprise, longueur)) return LectureReprise::illisible;
  std::vector<std::uint8_t> octets(longueur);
  std::size_t lus = 0;
  if (!f.lit(1, octets.data(), 1, lus) || lus != 1) return LectureReprise::illisible;
  auto e = EtatReprise::decode(octets.data(), octets.size());
  if (!e) return LectureReprise::illisible;
  etat = std::move(*e);
  return LectureReprise::lue;
}

Reglement regle_record(ValeursProgramme& valeurs, const EtatReprise& etat,
                       std::span<const StockArticle> anterieurs,
                       std::span<const StockArticle> posterieurs, int rang) {
  const Reglement fait{etat.suivante, etat.numero + 1, etat.numero + 1, {}};
  const Reglement acheve{etat.suivante, etat.numero + 1, etat.numero, {}};
  const Reglement a_refaire{etat.debut, etat.numero, etat.numero, {}};
  Reglement refuse = a_refaire;
  refuse.mouvement_refuse = true;
  const auto caisse_illisible = [&](std::string_view fichier) {
    Reglement r = a_refaire;
    r.caisse_illisible = std::string(fichier);
    return r;
  };
  switch (etat.attente) {
    case EtatReprise::Attente::rien:
    case EtatReprise::Attente::prise:
      return {etat.suivante, etat.numero, etat.numero, {}};
    case EtatReprise::Attente::termine:
      return {static_cast<std::int64_t>(etat.taille_fichier), etat.numero, etat.numero, {}};
    case EtatReprise::Attente::ligne_erreur: {
      if (ligne_erreur_ecrite(valeurs, etat)) return fait;
      Reglement r = a_refaire;
      r.ligne_a_refaire = true;
      return r;
    }
    case EtatReprise::Attente::article:
      break;
  }
  // The article is written before its movement is appended, and the count
  // raised before the movement's record is written.
  EnregistrementMouvement m;
  m.octets = etat.mouvement;
  const PlaceMouvement place = valeurs.caisse.cherche_mouvement(m, etat.mouvements_avant, rang);
  // The register cannot be read now: nothing can be told, nothing goes on.
  if (place.sorte == PlaceMouvement::Sorte::illisible)
    return caisse_illisible(nom_fichier_mouvements);
  EnregistrementArticle a = EnregistrementArticle::vierge();
  bool article_illisible = false;
  const bool lu =
      static_cast<bool>(valeurs.caisse.lit_article(etat.article, a, &article_illisible));
  if (article_illisible) return caisse_illisible(nom_fichier_articles);
  const std::uint32_t stock = bits(a.stock()), quantite2 = bits(a.quantite2());
  const auto egal = [&](const StockArticle& s) {
    return s.stock == stock && s.quantite2 == quantite2;
  };
  const bool juste_avant = lu && stock == etat.stock_avant && quantite2 == etat.quantite2_avant;
  // A record that leaves the stock as it was (a quantity of 0) cannot tell
  // by its own stock whether it was written: applied again (its movement was
  // not found), it changes nothing but the date it set already. Its group
  // tells more: a later record written means this one was (`posterieurs`
  // then holds its own stock).
  const bool sans_effet =
      etat.stock_avant == etat.stock_apres && etat.quantite2_avant == etat.quantite2_apres;
  const bool apres =
      lu && ((!sans_effet && stock == etat.stock_apres && quantite2 == etat.quantite2_apres) ||
             std::any_of(posterieurs.begin(), posterieurs.end(), egal));
  const bool avant =
      !apres && (juste_avant || (lu && std::any_of(anterieurs.begin(), anterieurs.end(), egal)));
  if (place.sorte == PlaceMouvement::Sorte::trouvee) {
    if (juste_avant && !apres) {
      // The movement reached the disk, the article's new stock did not.
      a.met_stock(std::bit_cast<float>(etat.stock_apres));
      a.met_quantite2(std::bit_cast<float>(etat.quantite2_apres));
      a.met_date_mouvement(m.date());
      // Unwritten, nothing goes on: the next start settles the record again.
      if (!valeurs.caisse.ecrit_article(etat.article, a)) return refuse;
    }
    return fait;
  }
  if (apres && sans_effet && a.date_mouvement() != m.date()) {
    // Its last movement date is all it changes.
    a.met_date_mouvement(m.date());
    if (!valeurs.caisse.ecrit_article(etat.article, a)) return refuse;
  }
  if (place.sorte == PlaceMouvement::Sorte::trou) {
    if (avant && !apres) {
      // The count reached the disk, the article's new stock did not (a
      // power cut writes files back in its own order): the record is
      // applied again, and the count it leaves over nothing goes back.
      if (place.trou == place.compte)
        (void)valeurs.caisse.rend_compte(place.trou);  // not given back: the slot stays blank
      return a_refaire;
    }
    // The article was written and the movement stopped half-way: it goes
    // into the slot its count took.
    return valeurs.caisse.remplit_trou(m, place.trou) ? acheve : refuse;
  }
  if (!lu) return a_refaire;
  if (apres) {
    // Written, the movement not yet appended.
    if (valeurs.caisse.ajoute_mouvement(m)) return acheve;
    // Without a movement file at all the register keeps no movements: the
    // stock change stands and the journal says the movement is missing. A
    // register folder away is no register without movements.
    if (valeurs.caisse.sans_fichier_mouvements()) {
      Reglement r = acheve;
      r.alerte = textes::mouvement_non_enregistre;
      r.alerte += sans_espaces(a.code());
      return r;
    }
    return refuse;
  }
  if (avant) return a_refaire;
  // The cash-register program changed the article since: whether our write
  // happened cannot be told. The record is applied again (a stock change is
  // never lost) and the journal asks for the article to be checked (so a
  // change applied twice is never silent).
  Reglement r = a_refaire;
  r.alerte = textes::reprise_ambigue_debut;
  r.alerte += sans_espaces(a.code());
  r.alerte += textes::reprise_ambigue_fin;
  r.alerte += std::to_string(etat.numero);
  return r;
}

}  // namespace pontex
