#include "pontex/exchange/groupes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <span>
#include <string>

#include "pontex/data/enregistrements.h"
#include "pontex/shared/fichiers.h"

namespace pontex {

namespace {

// Layout of a group's note (little-endian): a head, then one fixed-size
// entry per record written.
constexpr std::string_view signature = "PXGROUP1";
constexpr Sorte entier = Sorte::entier, brut = Sorte::octets;
namespace tete {
constexpr Champ signature{0, 8, brut};
constexpr Champ sequence{8, 8, entier};
constexpr Champ taille{16, 8, entier};     // the working file's size...
constexpr Champ empreinte{24, 8, entier};  // ...and digest
constexpr Champ premier{32, 8, entier};
constexpr Champ debut{40, 8, entier};
constexpr Champ dernier{48, 8, entier};
constexpr Champ nombre{56, 4, entier};  // entries after the head
constexpr Champ controle{72, 8, entier};
constexpr std::size_t longueur = 80;
constexpr Champ champs[] = {signature, sequence, taille, empreinte, premier,
                            debut,     dernier,  nombre, controle};
static_assert(champs_disjoints(champs, longueur));
}  // namespace tete
namespace entree {
constexpr ChampsEtat etat{
    .attente{24, 4, entier},
    .numero{0, 8, entier},
    .debut{8, 8, entier},
    .suivante{16, 8, entier},
    .article{28, 4, entier},
    .stock_avant{32, 4, entier},  // Single bits
    .quantite2_avant{36, 4, entier},
    .stock_apres{40, 4, entier},
    .quantite2_apres{44, 4, entier},
    .mouvements_avant{48, 4, entier},
    .mouvement{96, 64, brut},  // the movement record itself
    .date_erreurs{80, 10, brut},
    .taille_erreurs{56, 8, entier},
    .longueur_ligne{64, 8, entier},
    .empreinte_ligne{72, 8, entier},
};
constexpr std::size_t longueur = 160;
constexpr Champ champs[] = {etat.numero,           etat.debut,          etat.suivante,
                            etat.attente,          etat.article,        etat.stock_avant,
                            etat.quantite2_avant,  etat.stock_apres,    etat.quantite2_apres,
                            etat.mouvements_avant, etat.taille_erreurs, etat.longueur_ligne,
                            etat.empreinte_ligne,  etat.date_erreurs,   etat.mouvement};
static_assert(champs_disjoints(champs, longueur) && etat.mouvement.fin() == longueur);
}  // namespace entree

// Check sum over the head (without its own place) and the entries, eight
// bytes a step: a group's note can be half a megabyte.
std::uint64_t controle(const std::uint8_t* o, std::size_t taille) {
  return empreinte_mots(o, tete::longueur, taille, empreinte_mots(o, 0, tete::controle.offset));
}

std::optional<EtatReprise> decode_entree(const std::uint8_t* o, const Groupe& g) {
  EtatReprise e;
  lit_champs(o, entree::etat, e);
  if (e.attente != EtatReprise::Attente::article && e.attente != EtatReprise::Attente::ligne_erreur)
    return std::nullopt;
  e.taille_fichier = g.taille_fichier;
  e.empreinte_fichier = g.empreinte_fichier;
  const auto t = static_cast<std::int64_t>(g.taille_fichier);
  if (e.numero < g.premier || e.numero > g.dernier || e.debut < 0 || e.suivante < e.debut ||
      e.suivante > t || e.taille_erreurs < 0 || e.longueur_ligne < 0 ||
      e.longueur_ligne > (1 << 20))
    return std::nullopt;
  return e;
}

std::optional<Groupe> lit_note(const FichierRecords& f) {
  std::array<std::uint8_t, tete::longueur> t{};
  std::size_t lus = 0;
  constexpr std::int64_t origine = 1;
  if (!f.lit(origine, t.data(), t.size(), lus) || lus != t.size()) return std::nullopt;
  if (octets::lit_texte(t.data(), tete::signature) != signature) return std::nullopt;
  const std::uint64_t nombre = octets::lit_entier(t.data(), tete::nombre);
  if (nombre > Groupe::ecritures_max) return std::nullopt;
  std::vector<std::uint8_t> o(tete::longueur + nombre * entree::longueur);
  if (!f.lit(origine, o.data(), o.size(), lus) || lus != o.size()) return std::nullopt;
  if (octets::lit_entier(o.data(), tete::controle) != controle(o.data(), o.size()))
    return std::nullopt;
  Groupe g;
  g.sequence = octets::lit_entier(o.data(), tete::sequence);
  g.taille_fichier = octets::lit_entier(o.data(), tete::taille);
  g.empreinte_fichier = octets::lit_entier(o.data(), tete::empreinte);
  g.premier = static_cast<std::int64_t>(octets::lit_entier(o.data(), tete::premier));
  g.debut = static_cast<std::int64_t>(octets::lit_entier(o.data(), tete::debut));
  g.dernier = static_cast<std::int64_t>(octets::lit_entier(o.data(), tete::dernier));
  if (g.premier < 1 || g.dernier < g.premier - 1 || g.debut < 0 ||
      g.debut > static_cast<std::int64_t>(g.taille_fichier))
    return std::nullopt;
  for (std::size_t i = 0; i < nombre; ++i) {
    auto e = decode_entree(o.data() + tete::longueur + i * entree::longueur, g);
    if (!e) return std::nullopt;
    g.ecritures.push_back(std::move(*e));
  }
  return g;
}

std::size_t limite_groupe = Groupe::ecritures_max;

}  // namespace

std::size_t ecritures_par_groupe() { return limite_groupe; }

bool syncs_groupes() {
#ifdef PONTEX_MESURE
  static const bool sans = [] {
    const char* v = std::getenv("PONTEX_MESURE_SANS_SYNCS");
    return v != nullptr && std::string_view(v) == "1";
  }();
  return !sans;
#else
  return true;
#endif
}

void limite_ecritures_par_groupe(std::size_t n) {
  limite_groupe = n == 0 ? Groupe::ecritures_max : std::min(n, Groupe::ecritures_max);
}

Resultat NoteGroupes::nouvelle() {
  for (const std::string_view nom : noms_fichiers_groupes) {
    const std::string provisoire = std::string(nom) + ".tmp";
    (void)supprime_fichier(provisoire);  // an earlier one left behind: created afresh below
    {
      FichierRecords f;
      if (Resultat r = f.ouvre(provisoire, 1, FichierRecords::Creation::si_absent); !r) return r;
    }
    if (Resultat r = renomme_fichier(provisoire, nom); !r) return r;
  }
  return Resultat::succes();
}

// Entries held before they are written: 80 KiB.
constexpr std::size_t entrees_par_ecriture = 512;

Resultat NoteGroupes::commence(const Groupe& g, std::size_t nombre) {
  if (nombre > Groupe::ecritures_max) return Resultat::echec("group too large");
  const std::size_t place = (g.sequence + 1) % 2;
  fichier_ = &fichiers_[place];
  if (!fichier_->est_ouvert()) {
    if (Resultat r = fichier_->ouvre(noms_fichiers_groupes[place], 1); !r) return r;
  }
  tete_.assign(tete::longueur, 0);
  std::uint8_t* o = tete_.data();
  octets::ecrit_octets(o, tete::signature, signature);
  octets::ecrit_entier(o, tete::sequence, g.sequence);
  octets::ecrit_entier(o, tete::taille, g.taille_fichier);
  octets::ecrit_entier(o, tete::empreinte, g.empreinte_fichier);
  octets::ecrit_entier(o, tete::premier, static_cast<std::uint64_t>(g.premier));
  octets::ecrit_entier(o, tete::debut, static_cast<std::uint64_t>(g.debut));
  octets::ecrit_entier(o, tete::dernier, static_cast<std::uint64_t>(g.dernier));
  octets::ecrit_entier(o, tete::nombre, nombre);
  controle_ = empreinte_mots(o, 0, tete::controle.offset);
  entrees_.clear();
  entrees_.reserve(entrees_par_ecriture * entree::longueur);
  position_ = static_cast<std::int64_t>(tete::longueur);
  return Resultat::succes();
}

Resultat NoteGroupes::ajoute(const EtatReprise& e) {
  entrees_.resize(entrees_.size() + entree::longueur);
  ecrit_champs(e, entree::etat, entrees_.data() + entrees_.size() - entree::longueur);
  return entrees_.size() < entrees_par_ecriture * entree::longueur ? Resultat::succes()
                                                                   : vide_entrees();
}

Resultat NoteGroupes::vide_entrees() {
  if (entrees_.empty()) return Resultat::succes();
  controle_ = empreinte_mots(entrees_.data(), 0, entrees_.size(), controle_);
  if (Resultat r = fichier_->ecrit(position_ + 1, entrees_.data(), entrees_.size()); !r) return r;
  position_ += static_cast<std::int64_t>(entrees_.size());
  entrees_.clear();
  return Resultat::succes();
}

// The head goes last, with the check sum over the whole note. From the
// file's start: a longer note left there before is cut short by its count
// and check sum, and one cut short by a power cut is refused by them.
Resultat NoteGroupes::termine() {
  if (Resultat r = vide_entrees(); !r) return r;
  octets::ecrit_entier(tete_.data(), tete::controle, controle_);
  if (Resultat r = fichier_->ecrit(1, tete_.data(), tete_.size()); !r) return r;
  return syncs_groupes() ? fichier_->vide_tampons() : Resultat::succes();
}

std::optional<Groupe> lit_groupe(std::uint64_t taille_fichier, std::uint64_t empreinte_fichier) {
  std::optional<Groupe> retenu;
  for (std::size_t i = 0; i < 2; ++i) {
    FichierRecords f;
    if (!f.ouvre(noms_fichiers_groupes[i], 1)) continue;
    auto g = lit_note(f);
    if (!g || g->taille_fichier != taille_fichier || g->empreinte_fichier != empreinte_fichier ||
        (g->sequence + 1) % 2 != i)
      continue;
    if (!retenu || g->sequence > retenu->sequence) retenu = std::move(g);
  }
  return retenu;
}

namespace {

bool est_article(const EtatReprise& e) { return e.attente == EtatReprise::Attente::article; }
bool sans_effet(const EtatReprise& e) {
  return e.stock_avant == e.stock_apres && e.quantite2_avant == e.quantite2_apres;
}

// The group's article records by article, each article's in the group's
// order, and by movement bytes: sorted once, so that settling a full group
// after a power cut takes a moment, not a record against every other one.
struct IndexGroupe {
  std::vector<std::uint32_t> par_article;
  // For each record: its place among its article's records (`place`, from
  // `debut` to `fin` in par_article), and the stocks each leaves and finds
  // in that order, so that an article's other records are spans of them.
  std::vector<std::uint32_t> place, debut, fin;
  std::vector<StockArticle> avants, apres;
  // The same movement bytes as earlier records of the group: told apart by
  // their order after the first one's count.
  std::vector<int> rang;
  std::vector<std::int32_t> compte_premier;
};

void range_par_article(const std::vector<EtatReprise>& ecritures, IndexGroupe& x) {
  std::stable_sort(x.par_article.begin(), x.par_article.end(),
                   [&](std::uint32_t a, std::uint32_t b) {
                     return ecritures[a].article < ecritures[b].article;
                   });
  x.avants.resize(x.par_article.size());
  x.apres.resize(x.par_article.size());
  for (std::size_t d = 0; d < x.par_article.size();) {
    std::size_t f = d;
    while (f < x.par_article.size() &&
           ecritures[x.par_article[f]].article == ecritures[x.par_article[d]].article)
      ++f;
    for (std::size_t k = d; k < f; ++k) {
      const EtatReprise& e = ecritures[x.par_article[k]];
      x.place[x.par_article[k]] = static_cast<std::uint32_t>(k);
      x.debut[x.par_article[k]] = static_cast<std::uint32_t>(d);
      x.fin[x.par_article[k]] = static_cast<std::uint32_t>(f);
      x.avants[k] = {e.stock_avant, e.quantite2_avant};
      x.apres[k] = {e.stock_apres, e.quantite2_apres};
    }
    d = f;
  }
}

void range_par_mouvement(const std::vector<EtatReprise>& ecritures,
                         std::vector<std::uint32_t> par_mouvement, IndexGroupe& x) {
  std::stable_sort(par_mouvement.begin(), par_mouvement.end(),
                   [&](std::uint32_t a, std::uint32_t b) {
                     return ecritures[a].mouvement < ecritures[b].mouvement;
                   });
  for (std::size_t d = 0; d < par_mouvement.size();) {
    const EtatReprise& premier = ecritures[par_mouvement[d]];
    std::size_t f = d;
    for (; f < par_mouvement.size() && ecritures[par_mouvement[f]].mouvement == premier.mouvement;
         ++f) {
      x.rang[par_mouvement[f]] = static_cast<int>(f - d);
      x.compte_premier[par_mouvement[f]] = premier.mouvements_avant;
    }
    d = f;
  }
}

IndexGroupe indexe_groupe(const std::vector<EtatReprise>& ecritures) {
  const std::size_t n = ecritures.size();
  IndexGroupe x;
  x.place.resize(n);
  x.debut.resize(n);
  x.fin.resize(n);
  x.rang.assign(n, 0);
  x.compte_premier.assign(n, 0);
  x.par_article.reserve(n);
  for (std::size_t i = 0; i < n; ++i)
    if (est_article(ecritures[i])) x.par_article.push_back(static_cast<std::uint32_t>(i));
  range_par_mouvement(ecritures, x.par_article, x);
  range_par_article(ecritures, x);
  return x;
}

// The last record whose article holds its write, as found (-1: none): the
// group's writes were made in order, so a record that changes no stock was
// written when a later one was. Each article is read for each of its
// records, as found; what its records leave it at is looked up once per
// article and stock found.
std::int64_t dernier_ecrit(ValeursProgramme& valeurs, const std::vector<EtatReprise>& ecritures,
                           const IndexGroupe& x) {
  struct Trouve {
    bool calcule = false;
    StockArticle lu;
    std::int64_t dernier = -1;  // last place in par_article leaving the article at `lu`
  };
  std::vector<Trouve> trouves(x.par_article.size());
  std::int64_t dernier = -1;
  for (std::size_t i = 0; i < ecritures.size(); ++i) {
    const EtatReprise& e = ecritures[i];
    if (!est_article(e) || sans_effet(e)) continue;
    EnregistrementArticle a = EnregistrementArticle::vierge();
    if (!valeurs.caisse.lit_article(e.article, a)) continue;
    const StockArticle lu{std::bit_cast<std::uint32_t>(a.stock()),
                          std::bit_cast<std::uint32_t>(a.quantite2())};
    Trouve& t = trouves[x.debut[i]];
    if (!t.calcule || t.lu.stock != lu.stock || t.lu.quantite2 != lu.quantite2) {
      t = {true, lu, -1};
      for (std::size_t k = x.debut[i]; k < x.fin[i]; ++k)
        if (x.apres[k].stock == lu.stock && x.apres[k].quantite2 == lu.quantite2)
          t.dernier = static_cast<std::int64_t>(k);
    }
    if (t.dernier >= static_cast<std::int64_t>(x.place[i])) dernier = static_cast<std::int64_t>(i);
  }
  return dernier;
}

}  // namespace

ReglementGroupe regle_groupe(ValeursProgramme& valeurs, const Groupe& groupe) {
  ReglementGroupe r;
  r.premier = groupe.dernier + 1;
  const auto& ecritures = groupe.ecritures;
  const IndexGroupe x = indexe_groupe(ecritures);
  const std::int64_t ecrit_jusqu_a = dernier_ecrit(valeurs, ecritures, x);
  for (std::size_t i = 0; i < ecritures.size(); ++i) {
    const EtatReprise& e = ecritures[i];
    std::span<const StockArticle> anterieurs, posterieurs;
    EtatReprise recherche = e;
    if (est_article(e)) {
      anterieurs = std::span(x.avants).subspan(x.debut[i], x.place[i] - x.debut[i]);
      posterieurs = std::span(x.apres).subspan(x.place[i] + 1, x.fin[i] - x.place[i] - 1);
      // A record that changes no stock, with a later one written: its own
      // stock after counts among those that show it written (the span
      // starts at its own place, where that stock is).
      if (sans_effet(e) && static_cast<std::int64_t>(i) < ecrit_jusqu_a)
        posterieurs = std::span(x.apres).subspan(x.place[i], x.fin[i] - x.place[i]);
      if (x.rang[i] > 0) recherche.mouvements_avant = x.compte_premier[i];
    }
    const Reglement reglement =
        regle_record(valeurs, recherche, anterieurs, posterieurs, x.rang[i]);
    if (!reglement.caisse_illisible.empty()) {
      r.caisse_illisible = reglement.caisse_illisible;
      return r;
    }
    if (!reglement.alerte.empty()) r.alertes.push_back(reglement.alerte);
    if (reglement.mouvement_refuse) {
      r.refuse = e.numero;
      r.premier = std::min(r.premier, e.numero);
      return r;
    }
    if (reglement.numero == e.numero) {
      r.a_refaire.push_back(e.numero);
      if (reglement.ligne_a_refaire && !r.ligne_a_refaire) r.ligne_a_refaire = e;
    }
    if (reglement.premier == e.numero) r.premier = std::min(r.premier, e.numero);
  }
  return r;
}

}  // namespace pontex
