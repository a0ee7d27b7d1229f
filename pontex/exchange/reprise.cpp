#include "pontex/exchange/reprise.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <optional>
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
namespace champ {
constexpr Sorte entier = Sorte::entier, brut = Sorte::octets;
constexpr Champ signature{0, 8, brut};
constexpr Champ attente{8, 4, entier};
constexpr Champ taille{12, 8, entier};     // the working file's size...
constexpr Champ empreinte{20, 8, entier};  // ...and digest
constexpr Champ numero{28, 8, entier};
constexpr Champ debut{36, 8, entier};
constexpr Champ suivante{44, 8, entier};
constexpr Champ article{52, 4, entier};
constexpr Champ stock_avant{56, 4, entier};  // Single bits
constexpr Champ quantite2_avant{60, 4, entier};
constexpr Champ stock_apres{64, 4, entier};
constexpr Champ quantite2_apres{68, 4, entier};
constexpr Champ mouvements_avant{72, 4, entier};
constexpr Champ mouvement{76, 64, brut};  // the movement record itself
constexpr Champ date_erreurs{140, 10, brut};
constexpr Champ taille_erreurs{150, 8, entier};
constexpr Champ longueur_ligne{158, 8, entier};
constexpr Champ empreinte_ligne{166, 8, entier};
// "PXREPRI1": the name's length on one byte, the name after it.
constexpr Champ longueur_nom{174, 1, entier};
constexpr Champ nom{175, 255, brut};
// "PXREPRI2": its length on four bytes, then the name, however long.
constexpr Champ longueur_nom_long{174, 4, entier};
constexpr Champ nom_long{178, EtatReprise::nom_max, brut};
// The check sum: the last eight bytes of a record of that length.
constexpr Champ controle(std::size_t longueur) { return {longueur - 8, 8, entier}; }
constexpr ChampsEtat etat{attente,         numero,           debut,           suivante,
                          article,         stock_avant,      quantite2_avant, stock_apres,
                          quantite2_apres, mouvements_avant, mouvement,       date_erreurs,
                          taille_erreurs,  longueur_ligne,   empreinte_ligne};
constexpr Champ court[] = {signature,
                           attente,
                           taille,
                           empreinte,
                           numero,
                           debut,
                           suivante,
                           article,
                           stock_avant,
                           quantite2_avant,
                           stock_apres,
                           quantite2_apres,
                           mouvements_avant,
                           mouvement,
                           date_erreurs,
                           taille_erreurs,
                           longueur_ligne,
                           empreinte_ligne,
                           longueur_nom,
                           nom,
                           controle(EtatReprise::longueur)};
static_assert(champs_disjoints(court, EtatReprise::longueur));
constexpr Champ long_[] = {longueur_nom_long, nom_long, controle(EtatReprise::longueur_max)};
static_assert(champs_disjoints(long_, EtatReprise::longueur_max) &&
              empreinte_ligne.fin() == longueur_nom_long.offset);
}  // namespace champ

// The record's length for a name of `n` bytes: its check sum in its last
// eight bytes.
std::size_t longueur_pour(std::size_t n) {
  if (n <= champ::nom.largeur) return EtatReprise::longueur;
  return std::max(EtatReprise::longueur, (champ::nom_long.offset + n + 7) / 8 * 8 + 8);
}

// Check sum of the progress record, rewritten before every record applied:
// over every byte before the last eight, where it is kept.
std::uint64_t controle(const std::uint8_t* o, std::size_t longueur) {
  return empreinte_mots(o, 0, champ::controle(longueur).offset);
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

void ecrit_champs(const EtatReprise& e, const ChampsEtat& c, std::uint8_t* o) {
  octets::ecrit_entier(o, c.attente, static_cast<std::uint32_t>(e.attente));
  octets::ecrit_entier(o, c.numero, static_cast<std::uint64_t>(e.numero));
  octets::ecrit_entier(o, c.debut, static_cast<std::uint64_t>(e.debut));
  octets::ecrit_entier(o, c.suivante, static_cast<std::uint64_t>(e.suivante));
  octets::ecrit_entier(o, c.article, static_cast<std::uint32_t>(e.article));
  octets::ecrit_entier(o, c.stock_avant, e.stock_avant);
  octets::ecrit_entier(o, c.quantite2_avant, e.quantite2_avant);
  octets::ecrit_entier(o, c.stock_apres, e.stock_apres);
  octets::ecrit_entier(o, c.quantite2_apres, e.quantite2_apres);
  octets::ecrit_entier(o, c.mouvements_avant, static_cast<std::uint32_t>(e.mouvements_avant));
  octets::ecrit_octets(o, c.mouvement, e.mouvement);
  octets::ecrit_octets(o, c.date_erreurs, e.date_erreurs);
  octets::ecrit_entier(o, c.taille_erreurs, static_cast<std::uint64_t>(e.taille_erreurs));
  octets::ecrit_entier(o, c.longueur_ligne, static_cast<std::uint64_t>(e.longueur_ligne));
  octets::ecrit_entier(o, c.empreinte_ligne, e.empreinte_ligne);
}

void lit_champs(const std::uint8_t* o, const ChampsEtat& c, EtatReprise& e) {
  e.attente = static_cast<EtatReprise::Attente>(octets::lit_entier(o, c.attente));
  e.numero = static_cast<std::int64_t>(octets::lit_entier(o, c.numero));
  e.debut = static_cast<std::int64_t>(octets::lit_entier(o, c.debut));
  e.suivante = static_cast<std::int64_t>(octets::lit_entier(o, c.suivante));
  e.article = static_cast<std::int32_t>(octets::lit_entier(o, c.article));
  e.stock_avant = static_cast<std::uint32_t>(octets::lit_entier(o, c.stock_avant));
  e.quantite2_avant = static_cast<std::uint32_t>(octets::lit_entier(o, c.quantite2_avant));
  e.stock_apres = static_cast<std::uint32_t>(octets::lit_entier(o, c.stock_apres));
  e.quantite2_apres = static_cast<std::uint32_t>(octets::lit_entier(o, c.quantite2_apres));
  e.mouvements_avant = static_cast<std::int32_t>(octets::lit_entier(o, c.mouvements_avant));
  octets::lit_octets(o, c.mouvement, e.mouvement);
  e.date_erreurs = octets::lit_texte(o, c.date_erreurs);
  e.taille_erreurs = static_cast<std::int64_t>(octets::lit_entier(o, c.taille_erreurs));
  e.longueur_ligne = static_cast<std::int64_t>(octets::lit_entier(o, c.longueur_ligne));
  e.empreinte_ligne = octets::lit_entier(o, c.empreinte_ligne);
}

std::vector<std::uint8_t> EtatReprise::encode() const {
  std::vector<std::uint8_t> o;
  encode(o);
  return o;
}

void EtatReprise::encode(std::vector<std::uint8_t>& o) const {
  const bool long_nom = nom.size() > champ::nom.largeur;
  o.assign(longueur_pour(nom.size()), 0);
  octets::ecrit_octets(o.data(), champ::signature, long_nom ? signature_longue : signature);
  octets::ecrit_entier(o.data(), champ::taille, taille_fichier);
  octets::ecrit_entier(o.data(), champ::empreinte, empreinte_fichier);
  ecrit_champs(*this, champ::etat, o.data());
  if (long_nom) {
    octets::ecrit_entier(o.data(), champ::longueur_nom_long, nom.size());
    octets::ecrit_octets(o.data(), champ::nom_long, nom);
  } else {
    octets::ecrit_entier(o.data(), champ::longueur_nom, nom.size());
    octets::ecrit_octets(o.data(), champ::nom, nom);
  }
  octets::ecrit_entier(o.data(), champ::controle(o.size()), controle(o.data(), o.size()));
}

std::optional<EtatReprise> EtatReprise::decode(const std::uint8_t* o, std::size_t taille) {
  if (taille < longueur || taille > longueur_max) return std::nullopt;
  const std::string sig = octets::lit_texte(o, champ::signature);
  const bool long_nom = sig == signature_longue;
  if (!long_nom && (taille != longueur || sig != signature)) return std::nullopt;
  if (octets::lit_entier(o, champ::controle(taille)) != controle(o, taille)) return std::nullopt;
  EtatReprise e;
  if (long_nom) {
    const std::uint64_t n = octets::lit_entier(o, champ::longueur_nom_long);
    // Only a name too long for the short record makes a long one.
    if (n <= champ::nom.largeur || longueur_pour(n) != taille) return std::nullopt;
    e.nom = octets::lit_texte(o, champ::nom_long, n);
  } else {
    e.nom = octets::lit_texte(o, champ::nom, octets::lit_entier(o, champ::longueur_nom));
  }
  lit_champs(o, champ::etat, e);
  if (static_cast<std::uint32_t>(e.attente) > static_cast<std::uint32_t>(Attente::prise))
    return std::nullopt;
  e.taille_fichier = octets::lit_entier(o, champ::taille);
  e.empreinte_fichier = octets::lit_entier(o, champ::empreinte);
  // Positions outside the file it names are damage the digest missed.
  const auto t = static_cast<std::int64_t>(e.taille_fichier);
  if (e.numero < 1 || e.debut < 0 || e.suivante < e.debut || e.suivante > t || t < 0 ||
      e.taille_erreurs < 0 || e.longueur_ligne < 0 || e.longueur_ligne > (1 << 20))
    return std::nullopt;
  return e;
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

namespace {

// What the files hold of an article record under way: its movement's place
// and the article as it now reads, against the stocks the note gives.
struct Constat {
  EnregistrementMouvement mouvement;
  PlaceMouvement place;
  EnregistrementArticle article = EnregistrementArticle::vierge();
  bool lu = false;           // the article could be read
  bool juste_avant = false;  // at the very stock before this record
  bool avant = false;        // at a stock before it (this or an earlier record of the group)
  bool apres = false;        // at its stock after it, or a later record's
  bool sans_effet = false;   // the record leaves the stock as it was
};

// Reads what the register holds; the file that could not be read otherwise.
std::optional<std::string_view> constate(ValeursProgramme& valeurs, const EtatReprise& etat,
                                         std::span<const StockArticle> anterieurs,
                                         std::span<const StockArticle> posterieurs, int rang,
                                         Constat& c) {
  // The article is written before its movement is appended, and the count
  // raised before the movement's record is written.
  c.mouvement.octets = etat.mouvement;
  c.place = valeurs.caisse.cherche_mouvement(c.mouvement, etat.mouvements_avant, rang);
  // The register cannot be read now: nothing can be told, nothing goes on.
  if (c.place.sorte == PlaceMouvement::Sorte::illisible) return nom_fichier_mouvements;
  bool article_illisible = false;
  c.lu = static_cast<bool>(valeurs.caisse.lit_article(etat.article, c.article, &article_illisible));
  if (article_illisible) return nom_fichier_articles;
  const auto stock = std::bit_cast<std::uint32_t>(c.article.stock()),
             quantite2 = std::bit_cast<std::uint32_t>(c.article.quantite2());
  const auto egal = [&](const StockArticle& s) {
    return s.stock == stock && s.quantite2 == quantite2;
  };
  c.juste_avant = c.lu && stock == etat.stock_avant && quantite2 == etat.quantite2_avant;
  // A record that leaves the stock as it was (a quantity of 0) cannot tell
  // by its own stock whether it was written: applied again (its movement was
  // not found), it changes nothing but the date it set already. Its group
  // tells more: a later record written means this one was (`posterieurs`
  // then holds its own stock).
  c.sans_effet =
      etat.stock_avant == etat.stock_apres && etat.quantite2_avant == etat.quantite2_apres;
  c.apres =
      c.lu && ((!c.sans_effet && stock == etat.stock_apres && quantite2 == etat.quantite2_apres) ||
               std::any_of(posterieurs.begin(), posterieurs.end(), egal));
  c.avant = !c.apres &&
            (c.juste_avant || (c.lu && std::any_of(anterieurs.begin(), anterieurs.end(), egal)));
  return std::nullopt;
}

// The journal line of an article that cannot be told: the record is applied
// again (a stock change is never lost) and the article is to be checked (so
// a change applied twice is never silent).
std::string alerte_ambigue(const EnregistrementArticle& a, std::int64_t numero) {
  std::string alerte(textes::reprise_ambigue_debut);
  alerte += sans_espaces(a.code());
  alerte += textes::reprise_ambigue_fin;
  alerte += std::to_string(numero);
  return alerte;
}

// What settling a record under way can end in.
struct Issues {
  explicit Issues(const EtatReprise& etat)
      : fait{etat.suivante, etat.numero + 1, etat.numero + 1, {}},
        acheve{etat.suivante, etat.numero + 1, etat.numero, {}},
        a_refaire{etat.debut, etat.numero, etat.numero, {}},
        refuse(a_refaire) {
    refuse.mouvement_refuse = true;
  }
  Reglement fait;       // done, and counted
  Reglement acheve;     // finished now
  Reglement a_refaire;  // applied again
  Reglement refuse;     // a write refused: settled again at the next start
};

// A record that writes no article, settled without reading one.
std::optional<Reglement> regle_sans_article(ValeursProgramme& valeurs, const EtatReprise& etat,
                                            const Issues& issues) {
  switch (etat.attente) {
    case EtatReprise::Attente::rien:
    case EtatReprise::Attente::prise:
      return Reglement{etat.suivante, etat.numero, etat.numero, {}};
    case EtatReprise::Attente::termine:
      return Reglement{
          static_cast<std::int64_t>(etat.taille_fichier), etat.numero, etat.numero, {}};
    case EtatReprise::Attente::ligne_erreur: {
      if (ligne_erreur_ecrite(valeurs, etat)) return issues.fait;
      Reglement r = issues.a_refaire;
      r.ligne_a_refaire = true;
      return r;
    }
    case EtatReprise::Attente::article:
      break;
  }
  return std::nullopt;
}

// The movement is in the file: the article follows it if it did not.
Reglement regle_mouvement_trouve(ValeursProgramme& valeurs, const EtatReprise& etat, Constat& c,
                                 const Issues& issues) {
  if (c.juste_avant && !c.apres) {
    // The movement reached the disk, the article's new stock did not.
    EnregistrementArticle& a = c.article;
    a.met_stock(std::bit_cast<float>(etat.stock_apres));
    a.met_quantite2(std::bit_cast<float>(etat.quantite2_apres));
    a.met_date_mouvement(c.mouvement.date());
    // Unwritten, nothing goes on: the next start settles the record again.
    if (!valeurs.caisse.ecrit_article(etat.article, a)) return issues.refuse;
  }
  return issues.fait;
}

// The count was raised for the movement, its record not written.
Reglement regle_trou(ValeursProgramme& valeurs, const Constat& c, const Issues& issues) {
  if (c.avant && !c.apres) {
    // The count reached the disk, the article's new stock did not (a power
    // cut writes files back in its own order): the record is applied again,
    // and the count it leaves over nothing goes back.
    if (c.place.trou == c.place.compte)
      (void)valeurs.caisse.rend_compte(c.place.trou);  // not given back: the slot stays blank
    return issues.a_refaire;
  }
  // The article was written and the movement stopped half-way: it goes into
  // the slot its count took.
  return valeurs.caisse.remplit_trou(c.mouvement, c.place.trou) ? issues.acheve : issues.refuse;
}

// No trace of the movement: the article tells whether the record was
// written.
Reglement regle_sans_mouvement(ValeursProgramme& valeurs, const EtatReprise& etat, const Constat& c,
                               const Issues& issues) {
  if (!c.lu) return issues.a_refaire;
  if (c.apres) {
    // Written, the movement not yet appended.
    if (valeurs.caisse.ajoute_mouvement(c.mouvement)) return issues.acheve;
    // Without a movement file at all the register keeps no movements: the
    // stock change stands and the journal says the movement is missing. A
    // register folder away is no register without movements.
    if (valeurs.caisse.sans_fichier_mouvements()) {
      Reglement r = issues.acheve;
      r.alerte = textes::mouvement_non_enregistre;
      r.alerte += sans_espaces(c.article.code());
      return r;
    }
    return issues.refuse;
  }
  if (c.avant) return issues.a_refaire;
  // The cash-register program changed the article since: whether our write
  // happened cannot be told.
  Reglement r = issues.a_refaire;
  r.alerte = alerte_ambigue(c.article, etat.numero);
  return r;
}

}  // namespace

Reglement regle_record(ValeursProgramme& valeurs, const EtatReprise& etat,
                       std::span<const StockArticle> anterieurs,
                       std::span<const StockArticle> posterieurs, int rang) {
  const Issues issues(etat);
  if (auto r = regle_sans_article(valeurs, etat, issues)) return std::move(*r);
  Constat c;
  if (const auto illisible = constate(valeurs, etat, anterieurs, posterieurs, rang, c)) {
    Reglement r = issues.a_refaire;
    r.caisse_illisible = std::string(*illisible);
    return r;
  }
  if (c.place.sorte == PlaceMouvement::Sorte::trouvee)
    return regle_mouvement_trouve(valeurs, etat, c, issues);
  EnregistrementArticle& a = c.article;
  if (c.apres && c.sans_effet && a.date_mouvement() != c.mouvement.date()) {
    // Its last movement date is all it changes.
    a.met_date_mouvement(c.mouvement.date());
    if (!valeurs.caisse.ecrit_article(etat.article, a)) return issues.refuse;
  }
  if (c.place.sorte == PlaceMouvement::Sorte::trou) return regle_trou(valeurs, c, issues);
  return regle_sans_mouvement(valeurs, etat, c, issues);
}

}  // namespace pontex
