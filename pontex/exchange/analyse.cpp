#include <algorithm>
#include <bit>
#include <cstdint>
#include <deque>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/exchange/articles_echange.h"
#include "pontex/exchange/depart_analyse.h"
#include "pontex/exchange/echange.h"
#include "pontex/exchange/groupes.h"
#include "pontex/exchange/lecteur_analyse.h"
#include "pontex/exchange/mouvement.h"
#include "pontex/exchange/reprise.h"
#include "pontex/exchange/texte_mouvements.h"
#include "pontex/exchange/textes_journal.h"
#include "pontex/shared/arret_systeme.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/fichiers_transit.h"
#include "pontex/shared/horloge.h"
#include "pontex/shared/nombres.h"

namespace pontex {

namespace {

// The journal line of a stop before record `numero`: "<why> : analyse
// arrêtée à l'enregistrement <numero>, reprise au prochain démarrage".
void journal_arret(FenetreEchange& fenetre, std::string_view pourquoi, std::int64_t numero) {
  std::string ligne(pourquoi);
  ligne += textes::arret;
  ligne += std::to_string(numero);
  ligne += textes::arret_fin;
  fenetre.ajoute_journal(ligne, SorteLigne::arret);
}

}  // namespace

std::string texte_caisse_illisible(std::string_view fichier, std::string_view raison) {
  std::string ligne(textes::caisse_illisible);
  ligne += fichier;
  if (!raison.empty()) {
    ligne += ' ';
    ligne += raison;
  }
  return ligne;
}

namespace {

// The day's error file.
std::string nom_erreurs(std::string_view jour) { return "erreurs_" + std::string(jour) + ".err"; }

// A record that is not applied: its error line and journal line, the error
// file it goes to and that file's size before it. Kept apart from the
// record's plan: most records of a delivery are applied, and a group holds
// thousands of plans.
struct ErreurPrevue {
  std::string ligne, texte_journal, jour;
  std::int64_t taille_erreurs = 0;
};

// One record of the working file, read, then planned within its group:
// what it will write, before anything is written. Small and of a fixed
// size for an applied record, since a whole group of them is held.
struct Prevu {
  std::int64_t numero = 0, debut = 0, suivante = 0;
  bool article = false;
  // An article's record: the article as read and as to be written back
  // (their stock and second quantity, Single bits, and a digest of the
  // whole bytes read: what the recording checks at the last moment), the
  // count the movement follows and the movement to append. The bytes to be
  // written follow from those read, the quantity and the movement's date and
  // time, which the movement's own bytes hold: they need no digest of their
  // own.
  std::int32_t k = 0;
  std::int32_t mouvements_avant = 0;
  std::uint32_t stock_avant = 0, quantite2_avant = 0, stock_apres = 0, quantite2_apres = 0;
  std::uint64_t empreinte_avant = 0;
  double quantite = 0.0;
  std::string reference;
  EnregistrementMouvement mouvement;
  std::unique_ptr<ErreurPrevue> erreur;
  // The article could not be written when planned: the record goes to the
  // error file, for this reason.
  std::string_view motif_force;
  // The register could not be read to plan it (its file, why): the file
  // stops before it.
  std::unique_ptr<std::pair<std::string, std::string>> caisse_illisible;
};

std::uint64_t empreinte_article(const EnregistrementArticle& a) {
  return empreinte_mots(a.octets.data(), 0, a.octets.size());
}

// The error line and journal line of a record that is not applied.
void forme_erreur(Prevu& p, const ValeursProgramme& valeurs, std::string_view motif,
                  std::string_view texte, const std::optional<double>& quantite,
                  std::optional<std::string_view> texte_quantite = std::nullopt) {
  const char sep = valeurs.separateur_decimal;
  p.article = false;
  if (!p.erreur) p.erreur = std::make_unique<ErreurPrevue>();
  ErreurPrevue& e = *p.erreur;
  e.ligne.assign(motif);
  e.ligne += texte;
  e.texte_journal.clear();
  if (quantite) {
    e.ligne += format_nombre_imprime(*quantite, sep);
    e.texte_journal = format_deux_decimales(*quantite, sep);
    e.texte_journal += textes::fois;
  } else if (texte_quantite) {
    // Unreadable as a number: the text as received, so that nothing of the
    // server's record is lost.
    e.ligne += ' ';
    e.ligne += *texte_quantite;
    e.ligne += ' ';
    e.texte_journal = *texte_quantite;
    e.texte_journal += textes::fois;
  }
  e.ligne += "\r\n";
  e.texte_journal += motif;
  e.texte_journal += texte;
}

// Where the record came from, for whoever traces an error back to the
// server: the error file's lines keep the server's format, the journal
// names the received file and the line.
std::string avec_origine(const Prevu& p, std::string_view nom) {
  std::string texte = p.erreur->texte_journal;
  texte += textes::origine_debut;
  texte += nom;
  texte += textes::origine_ligne;
  texte += std::to_string(p.numero);
  texte += ')';
  return texte;
}

// The last record of a group planned for each article: a repeat of the
// article is planned from the stocks that one leaves. A flat table by
// article number, its size set by the group's bound, reused from group to
// group.
class DerniersPlans {
 public:
  void vide(std::size_t records_max) {
    std::size_t taille = 16;
    while (taille < 2 * records_max) taille *= 2;
    places_.assign(taille, 0);
  }
  // The index of the last record planned for article `k`, if any.
  std::optional<std::uint32_t> cherche(std::int32_t k) const {
    for (std::size_t i = premiere_place(k);; i = (i + 1) & (places_.size() - 1)) {
      const std::uint64_t v = places_[i];
      if (v == 0) return std::nullopt;
      if (static_cast<std::uint32_t>(v >> 32) == static_cast<std::uint32_t>(k))
        return static_cast<std::uint32_t>(v) - 1;
    }
  }
  void note(std::int32_t k, std::uint32_t indice) {
    std::size_t i = premiere_place(k);
    while (places_[i] != 0 &&
           static_cast<std::uint32_t>(places_[i] >> 32) != static_cast<std::uint32_t>(k))
      i = (i + 1) & (places_.size() - 1);
    places_[i] = (std::uint64_t{static_cast<std::uint32_t>(k)} << 32) | (indice + 1);
  }

 private:
  std::size_t premiere_place(std::int32_t k) const {
    return static_cast<std::size_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(k)) *
                                     0x9E3779B97F4A7C15ULL) >>
                                    32) &
           (places_.size() - 1);
  }
  // Article number above, index + 1 below; 0 for a free place.
  std::vector<std::uint64_t> places_;
};

// One working file being applied: where it is read, what the progress file
// holds, and why it stopped when it did.
//
// Records go in groups (see groupes.h): a group is read and planned, noted
// on the disk, written, and its files put on the disk. A group ends after
// Groupe::ecritures_max records.
class Application {
 public:
  // `apercu`: what was read of the working file before, its encoding among it.
  Application(ValeursProgramme& valeurs, FenetreEchange& fenetre, EtatReprise& etat,
              const ApercuAnalyse& apercu)
      : valeurs_(valeurs), fenetre_(fenetre), etat_(etat), apercu_(apercu) {}

  // The first record's error line, under way at an earlier stop, is written
  // again: `avant` is the progress noted then, with the error file's size
  // before the line.
  void ligne_a_refaire(const EtatReprise& avant) { ligne_coupee_ = avant; }
  // Goes on after the group `sequence`, settled at the start: of its records
  // up to `dernier`, only those in `a_refaire` are applied.
  void apres_groupe(std::uint64_t sequence, std::int64_t dernier,
                    std::vector<std::int64_t> a_refaire) {
    sequence_ = sequence;
    saut_jusqu_a_ = dernier;
    a_refaire_ = std::move(a_refaire);
  }

  // Applies the records from byte `depuis` (record number etat.numero) to
  // the end. False when it stopped before a record that the next start
  // takes up (a line the error file refused, a progress note not written,
  // the working file unreadable).
  bool applique(std::int64_t depuis);
  // It stopped because the register could not be read.
  bool caisse_illisible() const { return caisse_illisible_; }

 private:
  bool lit_prevu(Prevu& p);
  bool planifie(Prevu& p, std::map<std::string, std::int64_t>& tailles);
  bool planifie_article(Prevu& p);
  bool planifie_erreur(Prevu& p, std::map<std::string, std::int64_t>& tailles);
  bool ecrit_groupe();
  void planifie_groupe();
  bool note_groupe();
  bool ecrit_prevus();
  enum class Issue { fait, a_replanifier };
  Issue ecrit_article(Prevu& p);
  Issue ecrit_erreur(const Prevu& p);
  void termine_groupe();
  bool note(EtatReprise::Attente attente);
  void arrete(std::string_view pourquoi);
  void arrete_caisse_illisible(std::string_view fichier, std::string_view raison);

  ValeursProgramme& valeurs_;
  FenetreEchange& fenetre_;
  EtatReprise& etat_;
  const ApercuAnalyse& apercu_;
  SuiviReprise suivi_;
  NoteGroupes note_groupes_;
  LecteurAnalyse lecteur_;
  std::optional<EtatReprise> ligne_coupee_;
  std::uint64_t sequence_ = 0;
  std::int64_t saut_jusqu_a_ = 0;
  std::vector<std::int64_t> a_refaire_;
  std::int64_t numero_lu_ = 0;  // the last record read
  // Read, not yet written: the next group's records.
  std::deque<Prevu> a_venir_;
  Groupe groupe_;
  std::vector<Prevu> prevus_;
  DerniersPlans derniers_;
  // What the group wrote to: put on the disk at its end.
  bool caisse_ecrite_ = false;
  std::vector<std::string> jours_groupe_;
  bool erreurs_creees_ = false;
  // The days whose error file this run wrote to, put on the disk with the
  // rest at the file's end.
  std::vector<std::string> jours_erreurs_;
  bool arrete_ = false;
  bool caisse_illisible_ = false;
};

bool Application::note(EtatReprise::Attente attente) {
  etat_.attente = attente;
  if (suivi_.note(etat_)) return true;
  arrete(textes::suivi_non_ecrit);
  return false;
}

void Application::arrete(std::string_view pourquoi) {
  if (arrete_) return;
  arrete_ = true;
  journal_arret(fenetre_, pourquoi, etat_.numero);
}

// The group's note and the progress note hold what of the record was
// written (nothing, or the article without its movement), and the next
// start takes this record up first.
void Application::arrete_caisse_illisible(std::string_view fichier, std::string_view raison) {
  if (arrete_) return;
  caisse_illisible_ = true;
  arrete(texte_caisse_illisible(fichier, raison));
}

// The next record of the working file that is to be applied, read and
// decoded; records a settled group already applied are passed over.
bool Application::lit_prevu(Prevu& p) {
  LigneAnalyse ligne;
  for (;;) {
    if (!lecteur_.suivante(ligne)) return false;
    ++numero_lu_;
    if (numero_lu_ > saut_jusqu_a_ ||
        std::binary_search(a_refaire_.begin(), a_refaire_.end(), numero_lu_))
      break;
  }
  p = Prevu{};
  p.numero = numero_lu_;
  p.debut = ligne.debut;
  p.suivante = ligne.suivante;
  switch (ligne.sorte) {
    case LigneAnalyse::Sorte::incomplete:
      forme_erreur(p, valeurs_, textes::ligne_incomplete, ligne.texte, std::nullopt);
      return true;
    case LigneAnalyse::Sorte::trop_longue:
      forme_erreur(p, valeurs_, textes::ligne_trop_longue, ligne.texte, std::nullopt);
      return true;
    case LigneAnalyse::Sorte::record:
      break;
  }
  const RecordMouvement record = coupe_record(ligne.texte, ligne.remplace);
  const QuantiteRecord lue = lit_quantite(record);
  if (!lue.refus.empty()) {
    std::string_view texte = record.texte_quantite;
    texte.remove_suffix(texte.size() - (texte.find_last_not_of(" \t") + 1));
    texte.remove_prefix(std::min(texte.size(), texte.find_first_not_of(" \t")));
    forme_erreur(p, valeurs_, lue.refus, record.reference, std::nullopt, texte);
    return true;
  }
  if (record.caractere_remplace) {
    forme_erreur(p, valeurs_, textes::erreur_caractere, record.reference, lue.valeur);
    return true;
  }
  const RechercheArticle trouve = valeurs_.caisse.cherche_article(record.reference);
  // The index not read says nothing of the reference: the file stops here,
  // this record first at the next start, and the server is never told that
  // a reference it knows is unknown.
  if (trouve.issue == IssueCaisse::illisible) {
    p.caisse_illisible =
        std::make_unique<std::pair<std::string, std::string>>(trouve.fichier, trouve.raison);
    return true;
  }
  const std::int32_t k = trouve.article;
  if (k < 1) {
    forme_erreur(p, valeurs_, textes::erreur_reference, record.reference, lue.valeur);
    return true;
  }
  p.article = true;
  p.k = k;
  p.quantite = lue.valeur;
  p.reference = std::string(record.reference);
  return true;
}

// What `p` will write, given what the group's earlier records leave: false
// when it must wait for the next group.
bool Application::planifie(Prevu& p, std::map<std::string, std::int64_t>& tailles) {
  if (!p.caisse_illisible && p.article && planifie_article(p)) return true;
  if (p.caisse_illisible) {
    // After the group's records already planned, or as the stop.
    if (prevus_.empty()) {
      etat_.numero = p.numero;
      arrete_caisse_illisible(p.caisse_illisible->first, p.caisse_illisible->second);
    }
    return false;
  }
  return planifie_erreur(p, tailles);
}

// The stocks and the movement of a known article's record. False when it
// cannot be applied: its error line is then formed, or the register is
// unreadable (`caisse_illisible`).
bool Application::planifie_article(Prevu& p) {
  std::string_view motif = textes::erreur_article;
  EnregistrementArticle lu = EnregistrementArticle::vierge();
  bool ok = p.motif_force.empty();
  if (!ok) motif = p.motif_force;
  if (ok) {
    bool illisible = false;
    Resultat r = valeurs_.caisse.lit_article(p.k, lu, &illisible);
    if (!r && illisible) {
      p.caisse_illisible = std::make_unique<std::pair<std::string, std::string>>(
          std::string(nom_fichier_articles), r.raison());
      return false;
    }
    ok = static_cast<bool>(r);
  }
  // Nothing of the group is written yet: an article an earlier record of
  // the group plans to change is read as it is and given what that
  // record leaves, its stock, second quantity and last movement date,
  // the only fields a movement changes. Read again rather than kept, a
  // whole article a record would weigh on the group's memory.
  if (const auto precedent = ok ? derniers_.cherche(p.k) : std::nullopt) {
    const Prevu& d = prevus_[*precedent];
    lu.met_stock(std::bit_cast<float>(d.stock_apres));
    lu.met_quantite2(std::bit_cast<float>(d.quantite2_apres));
    lu.met_date_mouvement(d.mouvement.date());
  }
  std::optional<MouvementPrepare> prepare;
  if (ok) prepare = prepare_mouvement(valeurs_, lu, p.quantite, motif);
  if (prepare) {
    p.stock_avant = std::bit_cast<std::uint32_t>(lu.stock());
    p.quantite2_avant = std::bit_cast<std::uint32_t>(lu.quantite2());
    p.stock_apres = std::bit_cast<std::uint32_t>(prepare->nouveau.stock());
    p.quantite2_apres = std::bit_cast<std::uint32_t>(prepare->nouveau.quantite2());
    p.empreinte_avant = empreinte_article(lu);
    p.mouvement = prepare->mouvement;
    derniers_.note(p.k, static_cast<std::uint32_t>(prevus_.size()));
    return true;
  }
  forme_erreur(p, valeurs_, motif, p.reference, p.quantite);
  return false;
}

// The error line of a record not applied: its day's file and the size that
// file will have before it.
bool Application::planifie_erreur(Prevu& p, std::map<std::string, std::int64_t>& tailles) {
  ErreurPrevue& erreur = *p.erreur;
  const DossierTenu& import = valeurs_.dossiers->reception;
  if (ligne_coupee_) {
    const EtatReprise avant = *ligne_coupee_;
    ligne_coupee_.reset();
    // The same line as the one under way at the stop: what a full disk let
    // through of it is cut back, or the line written now would be glued to
    // it. The earlier day's file, when the stop fell before midnight.
    if (avant.numero == p.numero && avant.longueur_ligne == std::ssize(erreur.ligne) &&
        avant.empreinte_ligne == empreinte(erreur.ligne) &&
        !retire_ajout_coupe({import, nom_erreurs(avant.date_erreurs)}, avant.taille_erreurs,
                            erreur.ligne)) {
      etat_.numero = p.numero;
      arrete(textes::erreurs_non_ecrites);
      return false;
    }
  }
  // The date is taken per line: a run across midnight splits its errors
  // over the two days' files.
  erreur.jour = format_jj_mm_aaaa(valeurs_.horloge->maintenant());
  auto taille = tailles.find(erreur.jour);
  if (taille == tailles.end())
    taille =
        tailles.emplace(erreur.jour, taille_entree({import, nom_erreurs(erreur.jour)}).value_or(0))
            .first;
  erreur.taille_erreurs = taille->second;
  taille->second += std::ssize(erreur.ligne);
  return true;
}

// A record that is not applied leaves a line in the day's error file and in
// the journal. The progress file first notes the line and the error file's
// size, so that after a stop the line is neither lost nor written twice.
Application::Issue Application::ecrit_erreur(const Prevu& p) {
  const ErreurPrevue& erreur = *p.erreur;
  const DossierTenu& import = valeurs_.dossiers->reception;
  const std::string nom = nom_erreurs(erreur.jour);
  // Another day by now, or the file not as planned: planned again.
  if (format_jj_mm_aaaa(valeurs_.horloge->maintenant()) != erreur.jour ||
      taille_entree({import, nom}).value_or(0) != erreur.taille_erreurs)
    return Issue::a_replanifier;
  etat_.date_erreurs = erreur.jour;
  etat_.taille_erreurs = erreur.taille_erreurs;
  etat_.longueur_ligne = std::ssize(erreur.ligne);
  etat_.empreinte_ligne = empreinte(erreur.ligne);
  if (!note(EtatReprise::Attente::ligne_erreur)) return Issue::fait;
  if (erreur.taille_erreurs == 0) erreurs_creees_ = true;
  if (std::find(jours_groupe_.begin(), jours_groupe_.end(), erreur.jour) == jours_groupe_.end())
    jours_groupe_.push_back(erreur.jour);
  if (const Resultat r = ajoute_entree({import, nom}, erreur.ligne); !r) {
    // Going on would drop this reference: the file waits for the next
    // start, which writes the line and goes on from there.
    fenetre_.ajoute_journal(avec_origine(p, etat_.nom), SorteLigne::erreur);
    arrete(std::string(textes::erreurs_non_ecrites) + " : " + r.raison());
    return Issue::fait;
  }
  fenetre_.ajoute_journal(avec_origine(p, etat_.nom), SorteLigne::erreur);
  if (std::find(jours_erreurs_.begin(), jours_erreurs_.end(), erreur.jour) == jours_erreurs_.end())
    jours_erreurs_.push_back(erreur.jour);
  return Issue::fait;
}

Application::Issue Application::ecrit_article(Prevu& p) {
  // The recording reads the article itself, at the last moment: anything
  // else than what the group's note holds (the till sold the article since,
  // or the minute turned) and the record is planned again.
  bool conforme = false;
  const auto avant_ecriture = [&](const EcrituresPrevues& e) {
    if (e.mouvement.octets != p.mouvement.octets ||
        std::bit_cast<std::uint32_t>(e.avant.stock()) != p.stock_avant ||
        std::bit_cast<std::uint32_t>(e.avant.quantite2()) != p.quantite2_avant ||
        std::bit_cast<std::uint32_t>(e.apres.stock()) != p.stock_apres ||
        std::bit_cast<std::uint32_t>(e.apres.quantite2()) != p.quantite2_apres ||
        empreinte_article(e.avant) != p.empreinte_avant)
      return false;
    conforme = true;
    etat_.article = e.article;
    etat_.stock_avant = std::bit_cast<std::uint32_t>(e.avant.stock());
    etat_.quantite2_avant = std::bit_cast<std::uint32_t>(e.avant.quantite2());
    etat_.stock_apres = std::bit_cast<std::uint32_t>(e.apres.stock());
    etat_.quantite2_apres = std::bit_cast<std::uint32_t>(e.apres.quantite2());
    etat_.mouvement = e.mouvement.octets;
    return note(EtatReprise::Attente::article);
  };
  const MouvementEcrit fait =
      ecrit_mouvement(valeurs_, fenetre_, p.k, p.quantite, avant_ecriture, true);
  if (fait.issue == MouvementEcrit::Issue::caisse_illisible) {
    arrete_caisse_illisible(nom_fichier_articles, fait.raison);
    return Issue::fait;
  }
  if (fait.issue == MouvementEcrit::Issue::non_applique) {
    if (arrete_) return Issue::fait;
    // Planned with other bytes, or not written at all: planned again, in
    // the second case as a record that goes to the error file.
    if (conforme) p.motif_force = fait.motif;
    return Issue::a_replanifier;
  }
  caisse_ecrite_ = true;
  if (fait.numero > 0) etat_.mouvements_avant = fait.numero;
  // The stock changed, its movement did not reach the movement file (a
  // full disk): going on would leave it unrecorded for good. The progress
  // note holds it, and the next start appends it before going on.
  if (fait.issue != MouvementEcrit::Issue::mouvement_refuse) return Issue::fait;
  // The register's folder gone since the lookup (a share rebooting) is an
  // outage, waited for and retried, not a movement file that refuses: the
  // note holds the movement either way.
  std::string fichier;
  if (Resultat r = valeurs_.caisse.verifie_lisible(fichier); !r) {
    arrete_caisse_illisible(fichier, r.raison());
    return Issue::fait;
  }
  arrete(textes::mouvement_non_ecrit);
  return Issue::fait;
}

// Reads and plans the next group's records, each with its entry in the
// group's note, until the group is full or a record must wait.
void Application::planifie_groupe() {
  prevus_.clear();
  std::map<std::string, std::int64_t> tailles;
  // Ours all lie at or before the count now; unread, the search for them
  // after a stop starts from the first movement.
  std::int32_t compte = 0;
  if (!valeurs_.caisse.compte_mouvements(compte)) compte = 0;
  std::size_t octets = 0;
  constexpr std::size_t octets_max = 16 << 20;  // bounds memory: a record is at most 64 KiB
  groupe_.premier = numero_lu_ + 1;
  groupe_.debut = etat_.suivante;
  const std::size_t limite = ecritures_par_groupe();
  prevus_.reserve(limite);
  derniers_.vide(limite);
  while (prevus_.size() < limite && octets < octets_max && !arrete_) {
    Prevu p;
    if (!a_venir_.empty()) {
      p = std::move(a_venir_.front());
      a_venir_.pop_front();
    } else if (!lit_prevu(p)) {
      break;
    }
    if (prevus_.empty()) {
      groupe_.premier = std::min(groupe_.premier, p.numero);
      groupe_.debut = std::min(groupe_.debut, p.debut);
    }
    if (!planifie(p, tailles)) {
      a_venir_.push_front(std::move(p));
      break;
    }
    octets += sizeof(Prevu) + p.reference.size();
    if (p.erreur)
      octets += sizeof(ErreurPrevue) + p.erreur->ligne.size() + p.erreur->texte_journal.size();
    if (p.article) p.mouvements_avant = compte++;
    prevus_.push_back(std::move(p));
  }
}

// The group's note on the disk before any of its writes. False when it
// could not be, and the file stops before the group.
bool Application::note_groupe() {
  // Records passed over at the end of a settled group are covered too.
  groupe_.dernier = std::max(prevus_.back().numero, std::min(saut_jusqu_a_, numero_lu_));
  groupe_.sequence = ++sequence_;
  // The note's entries are made from the plans as it is written, a few at a
  // time: the group is not held twice.
  const auto entree = [this](std::size_t i, EtatReprise& e) {
    const Prevu& p = prevus_[i];
    e.numero = p.numero;
    e.debut = p.debut;
    e.suivante = p.suivante;
    if (p.article) {
      e.attente = EtatReprise::Attente::article;
      e.article = p.k;
      e.stock_avant = p.stock_avant;
      e.quantite2_avant = p.quantite2_avant;
      e.stock_apres = p.stock_apres;
      e.quantite2_apres = p.quantite2_apres;
      e.mouvements_avant = p.mouvements_avant;
      e.mouvement = p.mouvement.octets;
    } else {
      const ErreurPrevue& erreur = *p.erreur;
      e.attente = EtatReprise::Attente::ligne_erreur;
      e.date_erreurs = erreur.jour;
      e.taille_erreurs = erreur.taille_erreurs;
      e.longueur_ligne = std::ssize(erreur.ligne);
      e.empreinte_ligne = empreinte(erreur.ligne);
    }
  };
  if (!note_groupes_.note(groupe_, prevus_.size(), entree)) {
    etat_.numero = prevus_.front().numero;
    arrete(textes::suivi_non_ecrit);
    return false;
  }
  return true;
}

// Writes the group's records in order. False when the file stopped; a
// record planned with what changed since sends it and the rest of the
// group to the next one.
bool Application::ecrit_prevus() {
  caisse_ecrite_ = false;
  erreurs_creees_ = false;
  jours_groupe_.clear();
  for (std::size_t i = 0; i < prevus_.size(); ++i) {
    Prevu& p = prevus_[i];
    // A stop asked by the system (logoff, shutdown) comes between two
    // records: the next start goes on with the record after the last one.
    if (arret_demande()) {
      etat_.numero = p.numero;
      etat_.debut = etat_.suivante;
      if (note(EtatReprise::Attente::rien)) arrete(textes::arret_systeme);
      return false;
    }
    etat_.numero = p.numero;
    etat_.debut = p.debut;
    etat_.suivante = p.suivante;
    const Issue issue = p.article ? ecrit_article(p) : ecrit_erreur(p);
    if (arrete_) return false;
    if (issue == Issue::a_replanifier) {
      // The rest of the group waits for the next one, planned afresh.
      for (std::size_t j = prevus_.size(); j-- > i;) a_venir_.push_front(std::move(prevus_[j]));
      etat_.suivante = etat_.debut;
      break;
    }
    ++etat_.numero;
  }
  return true;
}

// Plans the next group, notes it on the disk, writes it. False when
// nothing was left to write, or the file stopped.
bool Application::ecrit_groupe() {
  planifie_groupe();
  if (arrete_ || prevus_.empty()) return false;
  if (!note_groupe() || !ecrit_prevus()) return false;
  termine_groupe();
  return true;
}

// What the group wrote goes to the disk before the next group's note can
// replace its own.
void Application::termine_groupe() {
  if (!syncs_groupes()) return;
  // Best effort: a disk that refuses leaves what the system's cache holds.
  if (caisse_ecrite_) (void)valeurs_.caisse.vide_tampons();
  for (const std::string& jour : jours_groupe_)
    (void)synchronise_entree({valeurs_.dossiers->reception, nom_erreurs(jour)});
  // A new error file's name too. A share that cannot do it keeps its own.
  if (erreurs_creees_) (void)synchronise_dossier(valeurs_.dossiers->reception);
}

bool Application::applique(std::int64_t depuis) {
  // A new run of the file starts with an empty note of its groups, put on
  // the disk by the progress file's folder sync.
  if (sequence_ == 0 && !NoteGroupes::nouvelle()) {
    arrete(textes::suivi_non_ecrit);
    return false;
  }
  if (!suivi_.commence(etat_)) {
    arrete(textes::suivi_non_ecrit);
    return false;
  }
  if (!lecteur_.ouvre(nom_fichier_analyse, depuis, apercu_)) return false;
  numero_lu_ = etat_.numero - 1;
  etat_.suivante = depuis;
  groupe_.taille_fichier = etat_.taille_fichier;
  groupe_.empreinte_fichier = etat_.empreinte_fichier;
  while (ecrit_groupe()) {
  }
  note_groupes_.ferme();
  // Read to its end or stopped: the working file is removed or set aside
  // next, which Windows refuses while it is held open.
  lecteur_.ferme();
  if (!arrete_ && arret_demande()) {
    etat_.debut = etat_.suivante;
    if (note(EtatReprise::Attente::rien)) arrete(textes::arret_systeme);
  }
  // The till may have written over one of our movements while the file was
  // applied: those are appended again before the file can count as done.
  verifie_mouvements_ecrits(valeurs_, fenetre_);
  if (arrete_ || lecteur_.en_echec()) return false;
  // What the file changed (articles, movements, error lines) goes to the
  // disk before the file is noted as finished: after a power cut, a
  // finished file is never applied again, and none of its effects is lost.
  (void)valeurs_.caisse.vide_tampons();
  for (const std::string& jour : jours_erreurs_)
    (void)synchronise_entree({valeurs_.dossiers->reception,
                              nom_erreurs(jour)});  // not on the disk: a power cut may cut it
  // Not noted, the next start finds every record done; but a power cut
  // before the working file goes would leave it to be looked at again, so
  // the shop is told.
  if (Resultat r = suivi_.termine(etat_); !r)
    fenetre_.ajoute_journal(std::string(textes::suivi_non_ecrit) + " : " + r.raison(),
                            SorteLigne::erreur);
  suivi_.ferme();
  return true;
}

// The working file and its progress file go together when a file is
// finished, in this order, the first removal on the disk before the second:
// a working file is never left without its progress file, even by a power
// cut.
void efface_analyse() {
  // A file left behind is settled by the next start's check of its progress.
  (void)supprime_fichier(nom_fichier_analyse);
  (void)synchronise_dossier("");                // best effort: the disk keeps its own order
  (void)supprime_fichier(nom_fichier_reprise);  // one left behind is settled at the next start
  for (const std::string_view nom : noms_fichiers_groupes)
    (void)supprime_fichier(nom);  // never read for another working file
}

// A free name beside Pontex.wdo for a file that cannot be taken up, kept
// for a person to look at: "reprise_impossible_<yyyymmddhhnnss>.txt".
std::string nom_mis_de_cote(const ValeursProgramme& valeurs, std::string_view extension) {
  const std::string base =
      "reprise_impossible_" + format_aaaammjjhhnnss(valeurs.horloge->maintenant());
  std::string nom = base + std::string(extension);
  for (int n = 2; existe_entree(nom) && n < 1000; ++n)
    nom = base + "_" + std::to_string(n) + std::string(extension);
  return nom;
}

// How many of its records are known to be applied: none, 1 to n, or
// unknown (n < 0).
void ajoute_appliques(std::string& ligne, std::int64_t n) {
  if (n < 0)
    ligne += textes::reprise_inconnus;
  else if (n == 0)
    ligne += textes::reprise_aucun;
  else if (n == 1)
    ligne += textes::reprise_un;
  else
    ligne += std::string(textes::reprise_jusqu_a) + std::to_string(n) +
             std::string(textes::reprise_appliques);
}

// The working file cannot be taken up: it is never applied from its first
// record, since some of its records may be applied already. It is kept
// under another name for a person to look at, the progress file too when
// it is unreadable (a folder or a link in its place included), so that the
// next files are taken. The journal says why and which records are known
// to be applied.
void abandonne(const ValeursProgramme& valeurs, FenetreEchange& fenetre, std::string_view pourquoi,
               std::int64_t appliques, bool garde_suivi) {
  // What it notes of the groups is for this working file only.
  for (const std::string_view nom : noms_fichiers_groupes)
    (void)supprime_fichier(nom);  // never read for another working file
  std::string ligne(textes::reprise_impossible);
  ligne += pourquoi;
  ajoute_appliques(ligne, appliques);
  if (existe_fichier(nom_fichier_analyse)) {
    const std::string garde = nom_mis_de_cote(valeurs, ".txt");
    if (renomme_fichier(nom_fichier_analyse, garde)) {
      ligne += textes::reprise_garde;
      ligne += garde;
    } else {
      (void)supprime_fichier(nom_fichier_analyse);  // one left behind is settled at the next start
    }
    // The working file gone for good before its progress file goes.
    (void)synchronise_dossier("");
  }
  fenetre.ajoute_journal(ligne, SorteLigne::erreur);
  if (garde_suivi && existe_entree(nom_fichier_reprise) &&
      renomme_fichier(nom_fichier_reprise, nom_mis_de_cote(valeurs, ".wdo")))
    return;
  (void)supprime_fichier(nom_fichier_reprise);  // one left behind is settled at the next start
}

// Size and digest of a received file, read through the held import folder.
Resultat empreinte_entree(const Emplacement& fichier, std::uint64_t& taille,
                          std::uint64_t& valeur) {
  taille = 0;
  valeur = empreinte({});
  std::string bloc;
  for (;;) {
    if (Resultat r = lit_entree(fichier, static_cast<std::int64_t>(taille), 64 * 1024, bloc); !r)
      return r;
    if (bloc.empty()) return Resultat::succes();
    valeur = empreinte(bloc, valeur);
    taille += bloc.size();
  }
}

// The working file read through once, by whichever step needs it first.
bool lit_travail(SituationDepart& s, ApercuAnalyse& apercu) {
  using Travail = SituationDepart::Travail;
  if (s.travail == Travail::non_lu) {
    s.travail = lit_apercu(nom_fichier_analyse, apercu) ? Travail::lu : Travail::illisible;
    s.taille = apercu.taille();
    s.empreinte = apercu.empreinte();
  }
  return s.travail == Travail::lu;
}

IssuePrise regle_prise(const ValeursProgramme& valeurs, FenetreEchange& fenetre,
                       const EtatReprise& prise, SituationDepart& s, ApercuAnalyse& apercu) {
  if (!valeurs.dossiers->reception.ouvert()) {
    // Neither "still there" nor "gone": applied now, the file could be
    // taken again once the folder is back; dropped, it could be lost.
    fenetre.ajoute_journal(std::string(textes::reprise_en_attente) + prise.nom, SorteLigne::arret);
    return IssuePrise::en_attente;
  }
  const Emplacement recu{valeurs.dossiers->reception, prise.nom};
  const auto taille_recu = taille_entree(recu);
  if (!s.present) {
    if (!taille_recu)
      abandonne(valeurs, fenetre, std::string(textes::reprise_sans_fichier) + prise.nom, 0, false);
    else
      (void)supprime_fichier(nom_fichier_reprise);  // one left behind is settled at the next start
    return IssuePrise::fini;
  }
  std::uint64_t taille_r = 0, valeur_r = 0;
  if (taille_recu && lit_travail(s, apercu) &&
      static_cast<std::uint64_t>(*taille_recu) == s.taille &&
      empreinte_entree(recu, taille_r, valeur_r) && taille_r == s.taille &&
      valeur_r == s.empreinte) {
    efface_analyse();
    return IssuePrise::fini;
  }
  return IssuePrise::a_appliquer;
}

}  // namespace

Decision decide_depart(const SituationDepart& s) {
  // A file just copied starts afresh, whatever an earlier progress file says.
  const LectureReprise lecture = s.depart == Depart::import ? LectureReprise::absente : s.lecture;
  bool en_cours = lecture == LectureReprise::lue;
  if (en_cours && s.attente == EtatReprise::Attente::termine) return Decision::note_finie;
  if (en_cours && s.attente == EtatReprise::Attente::prise) {
    if (!s.prise) return Decision::regle_prise;
    if (*s.prise == IssuePrise::fini) return Decision::rien;
    if (*s.prise == IssuePrise::en_attente) return Decision::attend;
    en_cours = false;  // none of its records applied yet
  }
  if (lecture == LectureReprise::illisible) return Decision::met_de_cote_illisible;
  if (lecture == LectureReprise::absente && s.present && s.depart == Depart::reprise)
    return Decision::met_de_cote_sans_suivi;
  if (!s.present) return en_cours ? Decision::regle_puis_met_de_cote : Decision::rien;
  // Unreadable: left for the next start.
  if (s.travail == SituationDepart::Travail::non_lu) return Decision::lit_travail;
  if (s.travail == SituationDepart::Travail::illisible) return Decision::attend;
  if (!en_cours) return Decision::applique;
  const bool meme_fichier = s.taille == s.taille_notee && s.empreinte == s.empreinte_notee;
  return meme_fichier ? Decision::reprend : Decision::regle_puis_met_de_cote;
}

namespace {

// The register's article file, held open while one working file is applied
// and closed on every way out: the end, a stop, the register unreadable, a
// lack of memory. The till and the other exchanges open it after us.
class ArticlesOuverts {
 public:
  explicit ArticlesOuverts(Caisse& caisse) : caisse_(caisse) {}
  ~ArticlesOuverts() { caisse_.ferme_articles(); }
  ArticlesOuverts(const ArticlesOuverts&) = delete;
  ArticlesOuverts& operator=(const ArticlesOuverts&) = delete;

  // The register that cannot be read stops the file before the record
  // `a_reprendre`, as a movement that cannot be written does: nothing is
  // concluded from files that were not read.
  bool ouvre(ValeursProgramme& valeurs, FenetreEchange& fenetre, std::int64_t a_reprendre) {
    std::int32_t n = 0;
    if (Resultat r = caisse_.ouvre_articles(n); !r) {
      journal_arret(fenetre, texte_caisse_illisible(nom_fichier_articles, r.raison()), a_reprendre);
      return false;
    }
    valeurs.nombre_articles = n;
    return true;
  }

 private:
  Caisse& caisse_;
};

// What settling the records under way at the stop leaves: where the file
// goes on, or why it stops here.
struct Suite {
  std::optional<FinAnalyse> fin;
  std::int64_t premier = 1;  // the first record applied or finished, for the journal
  std::int64_t numero = 1;   // the record to go on from, at byte `depuis`
  std::int64_t depuis = 0;
  std::int64_t appliques = 0;  // known applied, should the file be kept aside
  std::vector<std::string> alertes;
  std::optional<EtatReprise> ligne_a_refaire;
  std::optional<Groupe> groupe;
  std::vector<std::int64_t> a_refaire;
};

// The records of the last group noted on the disk: it covers every record
// whose writes may have happened.
void regle_dernier_groupe(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                          const EtatReprise& precedent, Suite& suite) {
  const Groupe& groupe = *suite.groupe;
  ReglementGroupe r = regle_groupe(valeurs, groupe);
  if (!r.caisse_illisible.empty()) {
    journal_arret(fenetre, texte_caisse_illisible(r.caisse_illisible, ""), precedent.numero);
    suite.fin = FinAnalyse::caisse_illisible;
    return;
  }
  if (r.refuse) {
    journal_arret(fenetre, textes::mouvement_non_ecrit, *r.refuse);
    suite.fin = FinAnalyse::en_attente;
    return;
  }
  suite.premier = r.premier;
  suite.numero = groupe.premier;
  suite.depuis = groupe.debut;
  suite.alertes = std::move(r.alertes);
  suite.ligne_a_refaire = std::move(r.ligne_a_refaire);
  // Known applied: those before the first one still to apply.
  suite.appliques = r.a_refaire.empty() ? groupe.dernier : r.a_refaire.front() - 1;
  suite.a_refaire = std::move(r.a_refaire);
}

// The one record the progress file names, when no group was noted.
void regle_dernier_record(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                          const EtatReprise& precedent, Suite& suite) {
  const Reglement r = regle_record(valeurs, precedent);
  if (!r.caisse_illisible.empty()) {
    journal_arret(fenetre, texte_caisse_illisible(r.caisse_illisible, ""), precedent.numero);
    suite.fin = FinAnalyse::caisse_illisible;
    return;
  }
  if (r.mouvement_refuse) {
    journal_arret(fenetre, textes::mouvement_non_ecrit, precedent.numero);
    suite.fin = FinAnalyse::en_attente;
    return;
  }
  if (!r.alerte.empty()) suite.alertes.push_back(r.alerte);
  if (r.ligne_a_refaire) suite.ligne_a_refaire = precedent;
  suite.premier = r.premier;
  suite.numero = r.numero;
  suite.depuis = r.depuis;
  suite.appliques = r.numero - 1;
}

// The records under way are settled whatever follows: a movement count
// raised over an empty slot is never left so.
Suite regle_en_cours(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                     const EtatReprise& precedent) {
  Suite suite;
  suite.groupe = lit_groupe(precedent.taille_fichier, precedent.empreinte_fichier);
  if (suite.groupe)
    regle_dernier_groupe(valeurs, fenetre, precedent, suite);
  else
    regle_dernier_record(valeurs, fenetre, precedent, suite);
  if (suite.fin) return suite;
  valeurs.caisse.rend_compte_sans_mouvement();
  // What the settling wrote goes to the disk before anything may note the
  // records as done.
  (void)valeurs.caisse.vide_tampons();  // best effort, as at a group's end
  return suite;
}

// The records from byte `depuis` to the end, the article file open.
// `finie` when the file was read to its end.
FinAnalyse applique_records(ValeursProgramme& valeurs, FenetreEchange& fenetre, EtatReprise& etat,
                            const ApercuAnalyse& apercu, std::int64_t depuis, const Suite* suite) {
  Application application(valeurs, fenetre, etat, apercu);
  if (suite && suite->ligne_a_refaire) application.ligne_a_refaire(*suite->ligne_a_refaire);
  if (suite && suite->groupe)
    application.apres_groupe(suite->groupe->sequence, suite->groupe->dernier, suite->a_refaire);
  if (application.applique(depuis)) return FinAnalyse::finie;
  return application.caisse_illisible() ? FinAnalyse::caisse_illisible : FinAnalyse::en_attente;
}

// A file read to its end goes, once its caller has been told which received
// file it was, with its working file's size and digest: what the caller
// records of it is on the disk before the progress file that says so goes.
FinAnalyse conclut(FinAnalyse fin, const EtatReprise& etat, const NoteFichierTermine* termine) {
  if (fin != FinAnalyse::finie) return fin;
  if (termine && *termine)
    (*termine)(FichierTermine{etat.nom, etat.taille_fichier, etat.empreinte_fichier});
  efface_analyse();
  return FinAnalyse::finie;
}

FinAnalyse applique_du_debut(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                             std::string_view nom, const ApercuAnalyse& apercu,
                             const NoteFichierTermine* termine) {
  EtatReprise etat;
  etat.nom = std::string(nom);
  etat.taille_fichier = apercu.taille();
  etat.empreinte_fichier = apercu.empreinte();
  FinAnalyse fin;
  {
    ArticlesOuverts articles(valeurs.caisse);
    if (!articles.ouvre(valeurs, fenetre, 1)) return FinAnalyse::caisse_illisible;
    fin = applique_records(valeurs, fenetre, etat, apercu, 0, nullptr);
  }
  return conclut(fin, etat, termine);
}

// The records under way settled, then the same file goes on after them;
// another file in its place, or none, is kept aside (its records may be
// applied in part).
FinAnalyse reprend_du_suivi(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                            const EtatReprise& precedent, bool meme_fichier, bool present,
                            const ApercuAnalyse& apercu, const NoteFichierTermine* termine) {
  EtatReprise etat = precedent;
  Suite suite;
  FinAnalyse fin = FinAnalyse::finie;
  {
    ArticlesOuverts articles(valeurs.caisse);
    if (!articles.ouvre(valeurs, fenetre, precedent.numero)) return FinAnalyse::caisse_illisible;
    suite = regle_en_cours(valeurs, fenetre, precedent);
    if (suite.fin) return *suite.fin;
    if (meme_fichier) {
      fenetre.ajoute_journal(std::string(textes::reprise) + precedent.nom +
                             std::string(textes::reprise_a_partir) + std::to_string(suite.premier));
      for (const std::string& alerte : suite.alertes)
        fenetre.ajoute_journal(alerte, SorteLigne::erreur);
      etat.numero = suite.numero;
      etat.attente = EtatReprise::Attente::rien;
      etat.debut = etat.suivante = suite.depuis;
      fin = applique_records(valeurs, fenetre, etat, apercu, suite.depuis, &suite);
    }
  }
  if (meme_fichier) return conclut(fin, etat, termine);
  const std::string_view pourquoi =
      present ? textes::reprise_autre_fichier : textes::reprise_sans_fichier;
  abandonne(valeurs, fenetre, std::string(pourquoi) + precedent.nom, suite.appliques, false);
  for (const std::string& alerte : suite.alertes)
    fenetre.ajoute_journal(alerte, SorteLigne::erreur);
  return FinAnalyse::finie;
}

// What a start finds: the progress file read into `precedent`, and the
// working file as the copy saw it (`copie`), or still to be read.
SituationDepart situation_trouvee(Depart depart, EtatReprise& precedent, const ApercuAnalyse* copie,
                                  ApercuAnalyse& apercu) {
  SituationDepart s;
  s.depart = depart;
  s.lecture = lit_reprise(precedent);
  s.attente = precedent.attente;
  s.taille_notee = precedent.taille_fichier;
  s.empreinte_notee = precedent.empreinte_fichier;
  s.present = existe_fichier(nom_fichier_analyse);
  if (copie) {
    apercu = *copie;
    s.travail = SituationDepart::Travail::lu;
    s.taille = apercu.taille();
    s.empreinte = apercu.empreinte();
  }
  return s;
}

// `copie`, when given, is what the copy out of the import folder saw of the
// working file. `termine`, when given, is told of the received file this
// call applied to its end (or found finished and not yet cleared), with its
// working file's size and digest, before the working and progress files go.
FinAnalyse applique_fichier(ValeursProgramme& valeurs, FenetreEchange& fenetre, Depart depart,
                            std::string_view nom, const ApercuAnalyse* copie,
                            const NoteFichierTermine* termine) {
  EtatReprise precedent;
  ApercuAnalyse apercu;
  SituationDepart s = situation_trouvee(depart, precedent, copie, apercu);
  std::string nom_recu(nom);
  for (;;) {
    const Decision decision = decide_depart(s);
    switch (decision) {
      case Decision::rien:
        return FinAnalyse::finie;
      case Decision::attend:
        return FinAnalyse::en_attente;
      case Decision::note_finie:
        if (termine && *termine)
          (*termine)(
              FichierTermine{precedent.nom, precedent.taille_fichier, precedent.empreinte_fichier});
        efface_analyse();
        return FinAnalyse::finie;
      case Decision::regle_prise:
        s.prise = regle_prise(valeurs, fenetre, precedent, s, apercu);
        if (*s.prise != IssuePrise::a_appliquer) break;
        // Nothing applied yet: a new application, said in the journal.
        fenetre.ajoute_journal(std::string(textes::reprise) + precedent.nom +
                               std::string(textes::reprise_a_partir) + "1");
        nom_recu = precedent.nom;
        break;
      case Decision::lit_travail:
        (void)lit_travail(s, apercu);  // unreadable: the next answer says to wait
        break;
      case Decision::met_de_cote_illisible:
        abandonne(valeurs, fenetre, textes::reprise_illisible, -1, true);
        return FinAnalyse::finie;
      case Decision::met_de_cote_sans_suivi:
        abandonne(valeurs, fenetre, textes::reprise_sans_suivi, -1, false);
        return FinAnalyse::finie;
      case Decision::applique:
        return applique_du_debut(valeurs, fenetre, nom_recu, apercu, termine);
      case Decision::reprend:
      case Decision::regle_puis_met_de_cote:
        return reprend_du_suivi(valeurs, fenetre, precedent, decision == Decision::reprend,
                                s.present, apercu, termine);
    }
  }
}

// The exchange holds its folders while a file is applied. A lack of memory
// anywhere in it leaves the file where it stopped, for the next start, as
// any other stop does; the article file is closed on the way out.
FinAnalyse applique_tenu(ValeursProgramme& valeurs, FenetreEchange& fenetre, Depart depart,
                         std::string_view nom, const ApercuAnalyse* copie = nullptr,
                         const NoteFichierTermine* termine = nullptr) {
  try {
    const TenueDossiers dossiers(valeurs, fenetre);
    return applique_fichier(valeurs, fenetre, depart, nom, copie, termine);
  } catch (const std::bad_alloc&) {
    return FinAnalyse::en_attente;
  }
}

}  // namespace

bool applique_analyse(ValeursProgramme& valeurs, FenetreEchange& fenetre) {
  return applique_tenu(valeurs, fenetre, Depart::bouton, nom_fichier_analyse) == FinAnalyse::finie;
}

FinAnalyse reprend_analyse(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                           const NoteFichierTermine& termine) {
  return applique_tenu(valeurs, fenetre, Depart::reprise, nom_fichier_analyse, nullptr, &termine);
}

FinAnalyse applique_import(ValeursProgramme& valeurs, FenetreEchange& fenetre, std::string_view nom,
                           const ApercuAnalyse& copie, const NoteFichierTermine& termine) {
  return applique_tenu(valeurs, fenetre, Depart::import, nom, &copie, &termine);
}

bool analyse_en_attente() {
  // Anything under the progress file's name counts: a folder put there
  // must be moved aside, or no file could ever be taken again.
  return existe_fichier(nom_fichier_analyse) || existe_entree(nom_fichier_reprise);
}

}  // namespace pontex
