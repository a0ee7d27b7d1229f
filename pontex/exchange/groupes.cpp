#include "pontex/exchange/groupes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
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

Resultat NoteGroupes::note(const Groupe& g) {
  if (g.ecritures.size() > Groupe::ecritures_max) return Resultat::echec("group too large");
  FichierRecords& fichier = fichiers_[(g.sequence + 1) % 2];
  if (!fichier.est_ouvert()) {
    if (Resultat r = fichier.ouvre(noms_fichiers_groupes[(g.sequence + 1) % 2], 1); !r) return r;
  }
  std::vector<std::uint8_t> o(tete::longueur + g.ecritures.size() * entree::longueur);
  octets::ecrit_octets(o.data(), tete::signature, signature);
  octets::ecrit_entier(o.data(), tete::sequence, g.sequence);
  octets::ecrit_entier(o.data(), tete::taille, g.taille_fichier);
  octets::ecrit_entier(o.data(), tete::empreinte, g.empreinte_fichier);
  octets::ecrit_entier(o.data(), tete::premier, static_cast<std::uint64_t>(g.premier));
  octets::ecrit_entier(o.data(), tete::debut, static_cast<std::uint64_t>(g.debut));
  octets::ecrit_entier(o.data(), tete::dernier, static_cast<std::uint64_t>(g.dernier));
  octets::ecrit_entier(o.data(), tete::nombre, g.ecritures.size());
  for (std::size_t i = 0; i < g.ecritures.size(); ++i)
    ecrit_champs(g.ecritures[i], entree::etat, o.data() + tete::longueur + i * entree::longueur);
  octets::ecrit_entier(o.data(), tete::controle, controle(o.data(), o.size()));
  // From the file's start: a longer note left there before is cut short by
  // its count and check sum.
  if (Resultat r = fichier.ecrit(1, o.data(), o.size()); !r) return r;
  return syncs_groupes() ? fichier.vide_tampons() : Resultat::succes();
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

ReglementGroupe regle_groupe(ValeursProgramme& valeurs, const Groupe& groupe) {
  ReglementGroupe r;
  r.premier = groupe.dernier + 1;
  const auto& ecritures = groupe.ecritures;
  // The records whose article holds their write, as found: the group's
  // writes were made in order, so a record that changes no stock was
  // written when a later one was.
  std::vector<bool> ecrit(ecritures.size(), false);
  for (std::size_t i = 0; i < ecritures.size(); ++i) {
    const EtatReprise& e = ecritures[i];
    if (e.attente != EtatReprise::Attente::article ||
        (e.stock_avant == e.stock_apres && e.quantite2_avant == e.quantite2_apres))
      continue;
    EnregistrementArticle a = EnregistrementArticle::vierge();
    if (!valeurs.caisse.lit_article(e.article, a)) continue;
    const StockArticle lu{std::bit_cast<std::uint32_t>(a.stock()),
                          std::bit_cast<std::uint32_t>(a.quantite2())};
    for (std::size_t j = i; j < ecritures.size() && !ecrit[i]; ++j) {
      const EtatReprise& f = ecritures[j];
      ecrit[i] = f.attente == EtatReprise::Attente::article && f.article == e.article &&
                 f.stock_apres == lu.stock && f.quantite2_apres == lu.quantite2;
    }
  }
  for (std::size_t i = 0; i < ecritures.size(); ++i) {
    const EtatReprise& e = ecritures[i];
    std::vector<StockArticle> anterieurs, posterieurs;
    if (e.attente == EtatReprise::Attente::article) {
      for (std::size_t j = 0; j < ecritures.size(); ++j) {
        const EtatReprise& autre = ecritures[j];
        if (j == i || autre.attente != EtatReprise::Attente::article || autre.article != e.article)
          continue;
        if (j < i)
          anterieurs.push_back({autre.stock_avant, autre.quantite2_avant});
        else
          posterieurs.push_back({autre.stock_apres, autre.quantite2_apres});
      }
    }
    if (e.attente == EtatReprise::Attente::article && e.stock_avant == e.stock_apres &&
        e.quantite2_avant == e.quantite2_apres &&
        std::find(ecrit.begin() + static_cast<std::ptrdiff_t>(i) + 1, ecrit.end(), true) !=
            ecrit.end())
      posterieurs.push_back({e.stock_apres, e.quantite2_apres});
    // The same movement bytes as earlier records of the group: told apart
    // by their order after the first one's count.
    EtatReprise recherche = e;
    int rang = 0;
    if (e.attente == EtatReprise::Attente::article) {
      for (std::size_t j = 0; j < i; ++j) {
        if (ecritures[j].attente != EtatReprise::Attente::article ||
            ecritures[j].mouvement != e.mouvement)
          continue;
        if (rang++ == 0) recherche.mouvements_avant = ecritures[j].mouvements_avant;
      }
    }
    const Reglement reglement = regle_record(valeurs, recherche, anterieurs, posterieurs, rang);
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
