#include "pontex/exchange/groupes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pontex/data/enregistrements.h"
#include "pontex/shared/fichiers.h"

namespace pontex {

namespace {

// Layout of a group's note (little-endian): a head, then one fixed-size
// entry per record written.
constexpr std::string_view signature = "PXGROUP1";
constexpr std::size_t t_sequence = 8, t_taille = 16, t_empreinte = 24, t_premier = 32, t_debut = 40,
                      t_dernier = 48, t_nombre = 56, t_controle = 72, longueur_tete = 80;
constexpr std::size_t e_numero = 0, e_debut = 8, e_suivante = 16, e_attente = 24, e_article = 28,
                      e_stock_avant = 32, e_q2_avant = 36, e_stock_apres = 40, e_q2_apres = 44,
                      e_mvt_avant = 48, e_taille_err = 56, e_longueur = 64, e_empreinte_ligne = 72,
                      e_date = 80, e_mouvement = 96, longueur_entree = 160;
static_assert(e_mouvement + 64 == longueur_entree);

void met_u64(std::uint8_t* p, std::size_t o, std::uint64_t v) {
  for (std::size_t i = 0; i < 8; ++i) p[o + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint64_t lit_u64(const std::uint8_t* p, std::size_t o) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < 8; ++i) v |= std::uint64_t{p[o + i]} << (8 * i);
  return v;
}
void met_u32(std::uint8_t* p, std::size_t o, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) p[o + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t lit_u32(const std::uint8_t* p, std::size_t o) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v |= std::uint32_t{p[o + i]} << (8 * i);
  return v;
}

// Check sum over the head (without its own place) and the entries, eight
// bytes a step: a group's note can be half a megabyte.
std::uint64_t controle(const std::uint8_t* o, std::size_t taille) {
  std::uint64_t v = 14695981039346656037ULL;
  const auto pas = [&](std::uint64_t mot) {
    v ^= mot;
    v *= 1099511628211ULL;
    v ^= v >> 32;
  };
  for (std::size_t i = 0; i < t_controle; i += 8) pas(lit_u64(o, i));
  for (std::size_t i = longueur_tete; i < taille; i += 8) pas(lit_u64(o, i));
  return v;
}

void encode_entree(const EtatReprise& e, std::uint8_t* o) {
  met_u64(o, e_numero, static_cast<std::uint64_t>(e.numero));
  met_u64(o, e_debut, static_cast<std::uint64_t>(e.debut));
  met_u64(o, e_suivante, static_cast<std::uint64_t>(e.suivante));
  met_u32(o, e_attente, static_cast<std::uint32_t>(e.attente));
  met_u32(o, e_article, static_cast<std::uint32_t>(e.article));
  met_u32(o, e_stock_avant, e.stock_avant);
  met_u32(o, e_q2_avant, e.quantite2_avant);
  met_u32(o, e_stock_apres, e.stock_apres);
  met_u32(o, e_q2_apres, e.quantite2_apres);
  met_u32(o, e_mvt_avant, static_cast<std::uint32_t>(e.mouvements_avant));
  met_u64(o, e_taille_err, static_cast<std::uint64_t>(e.taille_erreurs));
  met_u64(o, e_longueur, static_cast<std::uint64_t>(e.longueur_ligne));
  met_u64(o, e_empreinte_ligne, e.empreinte_ligne);
  std::memcpy(o + e_date, e.date_erreurs.data(), std::min<std::size_t>(e.date_erreurs.size(), 10));
  std::memcpy(o + e_mouvement, e.mouvement.data(), e.mouvement.size());
}

std::optional<EtatReprise> decode_entree(const std::uint8_t* o, const Groupe& g) {
  EtatReprise e;
  const std::uint32_t attente = lit_u32(o, e_attente);
  if (attente != static_cast<std::uint32_t>(EtatReprise::Attente::article) &&
      attente != static_cast<std::uint32_t>(EtatReprise::Attente::ligne_erreur))
    return std::nullopt;
  e.attente = static_cast<EtatReprise::Attente>(attente);
  e.taille_fichier = g.taille_fichier;
  e.empreinte_fichier = g.empreinte_fichier;
  e.numero = static_cast<std::int64_t>(lit_u64(o, e_numero));
  e.debut = static_cast<std::int64_t>(lit_u64(o, e_debut));
  e.suivante = static_cast<std::int64_t>(lit_u64(o, e_suivante));
  e.article = static_cast<std::int32_t>(lit_u32(o, e_article));
  e.stock_avant = lit_u32(o, e_stock_avant);
  e.quantite2_avant = lit_u32(o, e_q2_avant);
  e.stock_apres = lit_u32(o, e_stock_apres);
  e.quantite2_apres = lit_u32(o, e_q2_apres);
  e.mouvements_avant = static_cast<std::int32_t>(lit_u32(o, e_mvt_avant));
  e.taille_erreurs = static_cast<std::int64_t>(lit_u64(o, e_taille_err));
  e.longueur_ligne = static_cast<std::int64_t>(lit_u64(o, e_longueur));
  e.empreinte_ligne = lit_u64(o, e_empreinte_ligne);
  e.date_erreurs.assign(reinterpret_cast<const char*>(o + e_date), 10);
  std::memcpy(e.mouvement.data(), o + e_mouvement, e.mouvement.size());
  const auto t = static_cast<std::int64_t>(g.taille_fichier);
  if (e.numero < g.premier || e.numero > g.dernier || e.debut < 0 || e.suivante < e.debut ||
      e.suivante > t || e.taille_erreurs < 0 || e.longueur_ligne < 0 ||
      e.longueur_ligne > (1 << 20))
    return std::nullopt;
  return e;
}

std::optional<Groupe> lit_note(const FichierRecords& f) {
  std::array<std::uint8_t, longueur_tete> tete{};
  std::size_t lus = 0;
  constexpr std::int64_t origine = 1;
  if (!f.lit(origine, tete.data(), tete.size(), lus) || lus != tete.size()) return std::nullopt;
  if (std::memcmp(tete.data(), signature.data(), signature.size()) != 0) return std::nullopt;
  const std::uint32_t nombre = lit_u32(tete.data(), t_nombre);
  if (nombre > Groupe::ecritures_max) return std::nullopt;
  std::vector<std::uint8_t> octets(longueur_tete + nombre * longueur_entree);
  if (!f.lit(origine, octets.data(), octets.size(), lus) || lus != octets.size())
    return std::nullopt;
  if (lit_u64(octets.data(), t_controle) != controle(octets.data(), octets.size()))
    return std::nullopt;
  Groupe g;
  g.sequence = lit_u64(octets.data(), t_sequence);
  g.taille_fichier = lit_u64(octets.data(), t_taille);
  g.empreinte_fichier = lit_u64(octets.data(), t_empreinte);
  g.premier = static_cast<std::int64_t>(lit_u64(octets.data(), t_premier));
  g.debut = static_cast<std::int64_t>(lit_u64(octets.data(), t_debut));
  g.dernier = static_cast<std::int64_t>(lit_u64(octets.data(), t_dernier));
  if (g.premier < 1 || g.dernier < g.premier - 1 || g.debut < 0 ||
      g.debut > static_cast<std::int64_t>(g.taille_fichier))
    return std::nullopt;
  for (std::uint32_t i = 0; i < nombre; ++i) {
    auto e = decode_entree(octets.data() + longueur_tete + i * longueur_entree, g);
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
  std::vector<std::uint8_t> o(longueur_tete + g.ecritures.size() * longueur_entree);
  std::memcpy(o.data(), signature.data(), signature.size());
  met_u64(o.data(), t_sequence, g.sequence);
  met_u64(o.data(), t_taille, g.taille_fichier);
  met_u64(o.data(), t_empreinte, g.empreinte_fichier);
  met_u64(o.data(), t_premier, static_cast<std::uint64_t>(g.premier));
  met_u64(o.data(), t_debut, static_cast<std::uint64_t>(g.debut));
  met_u64(o.data(), t_dernier, static_cast<std::uint64_t>(g.dernier));
  met_u32(o.data(), t_nombre, static_cast<std::uint32_t>(g.ecritures.size()));
  for (std::size_t i = 0; i < g.ecritures.size(); ++i)
    encode_entree(g.ecritures[i], o.data() + longueur_tete + i * longueur_entree);
  met_u64(o.data(), t_controle, controle(o.data(), o.size()));
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
