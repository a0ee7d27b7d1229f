#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/exchange/articles_echange.h"
#include "pontex/exchange/echange.h"
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

// Appends one line to the day's error file, opened and closed for this one
// line, so that the server or the shop can read the file at any moment. The
// file lies in the server's folder, the one the exchange holds: a link put
// under its name is replaced, never written through.
Resultat ecrit_ligne_erreurs(const DossierTenu& import, const std::string& nom,
                             std::string_view ligne) {
  return ajoute_entree({import, nom}, ligne);
}

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

// One working file being applied: where it is read, what the progress file
// holds, and why it stopped when it did.
class Application {
 public:
  Application(ValeursProgramme& valeurs, FenetreEchange& fenetre, EtatReprise& etat)
      : valeurs_(valeurs), fenetre_(fenetre), etat_(etat) {}

  // The first record's error line, under way at an earlier stop, is written
  // again: `avant` is the progress noted then, with the error file's size
  // before the line.
  void ligne_a_refaire(const EtatReprise& avant) { ligne_coupee_ = avant; }

  // Applies the records from byte `depuis` (record number etat.numero) to
  // the end. False when it stopped before a record that the next start
  // takes up (a line the error file refused, a progress note not written,
  // the working file unreadable).
  bool applique(std::int64_t depuis);
  // It stopped because the register could not be read.
  bool caisse_illisible() const { return caisse_illisible_; }

 private:
  void applique_record(const RecordMouvement& record);
  bool signale(std::string_view motif, std::string_view texte,
               const std::optional<double>& quantite,
               std::optional<std::string_view> texte_quantite = std::nullopt);
  bool note(EtatReprise::Attente attente);
  void arrete(std::string_view pourquoi);
  void arrete_caisse_illisible(std::string_view fichier, std::string_view raison);

  ValeursProgramme& valeurs_;
  FenetreEchange& fenetre_;
  EtatReprise& etat_;
  SuiviReprise suivi_;
  std::optional<EtatReprise> ligne_coupee_;
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

// The progress note holds what of the record was written (nothing, or the
// article without its movement), and the next start takes this record up
// first.
void Application::arrete_caisse_illisible(std::string_view fichier, std::string_view raison) {
  if (arrete_) return;
  caisse_illisible_ = true;
  arrete(texte_caisse_illisible(fichier, raison));
}

// A record that is not applied leaves a line in the day's error file and in
// the journal. The date is taken per line: a run across midnight splits its
// errors over the two days' files. The progress file first notes the line
// and the error file's size, so that after a kill the line is neither lost
// nor written twice.
bool Application::signale(std::string_view motif, std::string_view texte,
                          const std::optional<double>& quantite,
                          std::optional<std::string_view> texte_quantite) {
  const char sep = valeurs_.separateur_decimal;
  std::string ligne(motif);
  ligne += texte;
  std::string texte_journal;
  if (quantite) {
    ligne += format_nombre_imprime(*quantite, sep);
    texte_journal = format_deux_decimales(*quantite, sep);
    texte_journal += textes::fois;
  } else if (texte_quantite) {
    // Unreadable as a number: the text as received, so that nothing of the
    // server's record is lost.
    ligne += ' ';
    ligne += *texte_quantite;
    ligne += ' ';
    texte_journal = *texte_quantite;
    texte_journal += textes::fois;
  }
  ligne += "\r\n";

  const DossierTenu& import = valeurs_.dossiers->reception;
  if (ligne_coupee_) {
    const EtatReprise avant = *ligne_coupee_;
    ligne_coupee_.reset();
    // The same line as the one under way at the stop: what a full disk let
    // through of it is cut back, or the line written now would be glued to
    // it. The earlier day's file, when the stop fell before midnight.
    if (avant.numero == etat_.numero && avant.longueur_ligne == std::ssize(ligne) &&
        avant.empreinte_ligne == empreinte(ligne) &&
        !retire_ajout_coupe({import, "erreurs_" + avant.date_erreurs + ".err"},
                            avant.taille_erreurs, ligne)) {
      arrete(textes::erreurs_non_ecrites);
      return false;
    }
  }
  etat_.date_erreurs = format_jj_mm_aaaa(valeurs_.horloge->maintenant());
  const std::string nom = "erreurs_" + etat_.date_erreurs + ".err";
  etat_.taille_erreurs = taille_entree({import, nom}).value_or(0);
  etat_.longueur_ligne = static_cast<std::int64_t>(ligne.size());
  etat_.empreinte_ligne = empreinte(ligne);
  if (!note(EtatReprise::Attente::ligne_erreur)) return false;

  texte_journal += motif;
  texte_journal += texte;
  // Where the record came from, for whoever traces an error back to the
  // server: the error file's lines keep the server's format, the journal
  // names the received file and the line.
  texte_journal += textes::origine_debut;
  texte_journal += etat_.nom;
  texte_journal += textes::origine_ligne;
  texte_journal += std::to_string(etat_.numero);
  texte_journal += ')';
  if (const Resultat r = ecrit_ligne_erreurs(import, nom, ligne); !r) {
    // Going on would drop this reference: the file waits for the next
    // start, which writes the line and goes on from there.
    fenetre_.ajoute_journal(texte_journal, SorteLigne::erreur);
    arrete(std::string(textes::erreurs_non_ecrites) + " : " + r.raison());
    return false;
  }
  fenetre_.ajoute_journal(texte_journal, SorteLigne::erreur);
  if (std::find(jours_erreurs_.begin(), jours_erreurs_.end(), etat_.date_erreurs) ==
      jours_erreurs_.end())
    jours_erreurs_.push_back(etat_.date_erreurs);
  return true;
}

void Application::applique_record(const RecordMouvement& record) {
  const QuantiteRecord lue = lit_quantite(record);
  if (!lue.refus.empty()) {
    std::string_view texte = record.texte_quantite;
    texte.remove_suffix(texte.size() - (texte.find_last_not_of(" \t") + 1));
    texte.remove_prefix(std::min(texte.size(), texte.find_first_not_of(" \t")));
    signale(lue.refus, record.reference, std::nullopt, texte);
    return;
  }
  const std::optional<double> quantite = lue.valeur;
  if (record.caractere_remplace) {
    signale(textes::erreur_caractere, record.reference, quantite);
    return;
  }
  const RechercheArticle trouve = valeurs_.caisse.cherche_article(record.reference);
  // The index not read says nothing of the reference: the file stops here,
  // this record first at the next start, and the server is never told that
  // a reference it knows is unknown.
  if (trouve.issue == IssueCaisse::illisible) {
    arrete_caisse_illisible(trouve.fichier, trouve.raison);
    return;
  }
  const std::int32_t k = trouve.article;
  if (k < 1) {
    signale(textes::erreur_reference, record.reference, quantite);
    return;
  }
  // The recording reads the article itself, at the last moment, and checks
  // that read: reading it here too would only cost a system call.
  bool note_ecrite = true;
  const auto avant_ecriture = [&](const EcrituresPrevues& e) {
    etat_.article = e.article;
    etat_.stock_avant = std::bit_cast<std::uint32_t>(e.avant.stock());
    etat_.quantite2_avant = std::bit_cast<std::uint32_t>(e.avant.quantite2());
    etat_.stock_apres = std::bit_cast<std::uint32_t>(e.apres.stock());
    etat_.quantite2_apres = std::bit_cast<std::uint32_t>(e.apres.quantite2());
    etat_.mouvement = e.mouvement.octets;
    note_ecrite = note(EtatReprise::Attente::article);
    return note_ecrite;
  };
  const MouvementEcrit fait =
      ecrit_mouvement(valeurs_, fenetre_, k, *quantite, avant_ecriture, true);
  if (fait.issue == MouvementEcrit::Issue::caisse_illisible) {
    arrete_caisse_illisible(nom_fichier_articles, fait.raison);
    return;
  }
  if (fait.issue == MouvementEcrit::Issue::non_applique) {
    if (note_ecrite) signale(fait.motif, record.reference, quantite);
    return;
  }
  if (fait.numero > 0) etat_.mouvements_avant = fait.numero;
  // The stock changed, its movement did not reach the movement file (a
  // full disk): going on would leave it unrecorded for good. The progress
  // note holds it, and the next start appends it before going on.
  if (fait.issue != MouvementEcrit::Issue::mouvement_refuse) return;
  // The register's folder gone since the lookup (a share rebooting) is an
  // outage, waited for and retried, not a movement file that refuses: the
  // note holds the movement either way.
  std::string fichier;
  if (Resultat r = valeurs_.caisse.verifie_lisible(fichier); !r) {
    arrete_caisse_illisible(fichier, r.raison());
    return;
  }
  arrete(textes::mouvement_non_ecrit);
}

bool Application::applique(std::int64_t depuis) {
  if (!suivi_.commence(etat_)) {
    arrete(textes::suivi_non_ecrit);
    return false;
  }
  LecteurAnalyse lecteur;
  if (!lecteur.ouvre(nom_fichier_analyse, depuis)) return false;
  LigneAnalyse ligne;
  while (!arrete_) {
    // A stop asked by the system (logoff, shutdown) comes between two
    // records: the next start goes on with the record after the last one.
    if (arret_demande()) {
      etat_.debut = etat_.suivante;
      if (note(EtatReprise::Attente::rien)) arrete(textes::arret_systeme);
      break;
    }
    if (!lecteur.suivante(ligne)) break;
    etat_.debut = ligne.debut;
    etat_.suivante = ligne.suivante;
    switch (ligne.sorte) {
      case LigneAnalyse::Sorte::record:
        applique_record(coupe_record(ligne.texte, ligne.remplace));
        break;
      case LigneAnalyse::Sorte::incomplete:
        signale(textes::ligne_incomplete, ligne.texte, std::nullopt);
        break;
      case LigneAnalyse::Sorte::trop_longue:
        signale(textes::ligne_trop_longue, ligne.texte, std::nullopt);
        break;
    }
    if (!arrete_) ++etat_.numero;
  }
  // The till may have written over one of our movements while the file was
  // applied: those are appended again before the file can count as done.
  verifie_mouvements_ecrits(valeurs_, fenetre_);
  if (arrete_ || lecteur.en_echec()) return false;
  // What the file changed (articles, movements, error lines) goes to the
  // disk before the file is noted as finished: after a power cut, a
  // finished file is never applied again, and none of its effects is lost.
  (void)valeurs_.caisse.vide_tampons();
  for (const std::string& jour : jours_erreurs_)
    (void)synchronise_entree(
        {valeurs_.dossiers->reception,
         "erreurs_" + jour + ".err"});  // not on the disk: a power cut may cut it
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

// How a start finds the working file.
enum class Depart {
  bouton,   // the test button: a working file without progress is a new one
  reprise,  // the exchange's start: one without progress is never applied
  import,   // just copied from a received file, under its progress file
};

// The file taken by an earlier process was being copied: none of its
// records was applied. A whole copy (the working file is only renamed into
// place once whole) whose received file is gone is applied from its first
// record; one whose received file is still in the import folder goes, and
// the received file is taken again. Which of the two can only be told in
// the import folder itself: while the exchange does not hold it (a share
// not yet mounted), both files wait as they are.
enum class IssuePrise { fini, a_appliquer, en_attente };

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
IssuePrise regle_prise(const ValeursProgramme& valeurs, FenetreEchange& fenetre,
                       const EtatReprise& prise, bool present) {
  if (!valeurs.dossiers->reception.ouvert()) {
    // Neither "still there" nor "gone": applied now, the file could be
    // taken again once the folder is back; dropped, it could be lost.
    fenetre.ajoute_journal(std::string(textes::reprise_en_attente) + prise.nom, SorteLigne::arret);
    return IssuePrise::en_attente;
  }
  const Emplacement recu{valeurs.dossiers->reception, prise.nom};
  const auto taille_recu = taille_entree(recu);
  if (!present) {
    if (!taille_recu)
      abandonne(valeurs, fenetre, std::string(textes::reprise_sans_fichier) + prise.nom, 0, false);
    else
      (void)supprime_fichier(nom_fichier_reprise);  // one left behind is settled at the next start
    return IssuePrise::fini;
  }
  std::uint64_t taille = 0, valeur = 0, taille_r = 0, valeur_r = 0;
  if (taille_recu && empreinte_fichier(nom_fichier_analyse, taille, valeur) &&
      static_cast<std::uint64_t>(*taille_recu) == taille &&
      empreinte_entree(recu, taille_r, valeur_r) && taille_r == taille && valeur_r == valeur) {
    efface_analyse();
    return IssuePrise::fini;
  }
  return IssuePrise::a_appliquer;
}

// `termine`, when given, receives the received file this call applied to
// its end (or found finished and not yet cleared), with its working file's
// size and digest.
FinAnalyse applique_fichier(ValeursProgramme& valeurs, FenetreEchange& fenetre, Depart depart,
                            std::string_view nom,
                            std::optional<FichierTermine>* termine = nullptr) {
  EtatReprise precedent;
  LectureReprise lecture = lit_reprise(precedent);
  if (depart == Depart::import) lecture = LectureReprise::absente;
  const bool present = existe_fichier(nom_fichier_analyse);
  const bool en_cours = lecture == LectureReprise::lue &&
                        precedent.attente != EtatReprise::Attente::termine &&
                        precedent.attente != EtatReprise::Attente::prise;

  EtatReprise etat;
  etat.nom = std::string(nom);
  if (lecture == LectureReprise::lue) {
    switch (precedent.attente) {
      case EtatReprise::Attente::termine:
        efface_analyse();
        if (termine)
          *termine =
              FichierTermine{precedent.nom, precedent.taille_fichier, precedent.empreinte_fichier};
        return FinAnalyse::finie;
      case EtatReprise::Attente::prise:
        switch (regle_prise(valeurs, fenetre, precedent, present)) {
          case IssuePrise::fini:
            return FinAnalyse::finie;
          case IssuePrise::en_attente:
            return FinAnalyse::en_attente;
          case IssuePrise::a_appliquer:
            break;
        }
        // Nothing applied yet: a new application, said in the journal.
        fenetre.ajoute_journal(std::string(textes::reprise) + precedent.nom +
                               std::string(textes::reprise_a_partir) + "1");
        etat.nom = precedent.nom;
        break;
      default:
        break;
    }
  } else if (lecture == LectureReprise::illisible) {
    abandonne(valeurs, fenetre, textes::reprise_illisible, -1, true);
    return FinAnalyse::finie;
  } else if (present && depart == Depart::reprise) {
    abandonne(valeurs, fenetre, textes::reprise_sans_suivi, -1, false);
    return FinAnalyse::finie;
  }
  if (!present && !en_cours) return FinAnalyse::finie;

  if (present &&
      !empreinte_fichier(nom_fichier_analyse, etat.taille_fichier, etat.empreinte_fichier)) {
    // Unreadable: left for the next start.
    return FinAnalyse::en_attente;
  }
  // The register that cannot be read stops the file before the record
  // under way, as a movement that cannot be written does: nothing is
  // concluded from files that were not read.
  const std::int64_t a_reprendre = en_cours ? precedent.numero : 1;
  const auto caisse_illisible = [&](std::string_view fichier, std::string_view raison) {
    journal_arret(fenetre, texte_caisse_illisible(fichier, raison), a_reprendre);
    valeurs.caisse.ferme_articles();
    return FinAnalyse::caisse_illisible;
  };
  std::int32_t n = 0;
  if (Resultat r = valeurs.caisse.ouvre_articles(n); !r)
    return caisse_illisible(nom_fichier_articles, r.raison());
  valeurs.nombre_articles = n;
  std::int64_t depuis = 0;
  std::optional<EtatReprise> ligne_a_refaire;
  if (en_cours) {
    // The record under way is settled whatever follows: a movement count
    // raised over an empty slot is never left so.
    const Reglement reglement = regle_record(valeurs, precedent);
    if (!reglement.caisse_illisible.empty())
      return caisse_illisible(reglement.caisse_illisible, "");
    if (reglement.mouvement_refuse) {
      journal_arret(fenetre, textes::mouvement_non_ecrit, precedent.numero);
      valeurs.caisse.ferme_articles();
      return FinAnalyse::en_attente;
    }
    valeurs.caisse.rend_compte_sans_mouvement();
    const bool meme_fichier = present && precedent.taille_fichier == etat.taille_fichier &&
                              precedent.empreinte_fichier == etat.empreinte_fichier;
    if (!meme_fichier) {
      valeurs.caisse.ferme_articles();
      const std::string_view pourquoi =
          present ? textes::reprise_autre_fichier : textes::reprise_sans_fichier;
      abandonne(valeurs, fenetre, std::string(pourquoi) + precedent.nom, reglement.numero - 1,
                false);
      if (!reglement.alerte.empty()) fenetre.ajoute_journal(reglement.alerte, SorteLigne::erreur);
      return FinAnalyse::finie;
    }
    std::string ligne(textes::reprise);
    ligne += precedent.nom;
    ligne += textes::reprise_a_partir;
    ligne += std::to_string(reglement.premier);
    fenetre.ajoute_journal(ligne);
    if (!reglement.alerte.empty()) fenetre.ajoute_journal(reglement.alerte, SorteLigne::erreur);
    if (reglement.ligne_a_refaire) ligne_a_refaire = precedent;
    depuis = reglement.depuis;
    etat = precedent;
    etat.numero = reglement.numero;
    etat.attente = EtatReprise::Attente::rien;
    etat.debut = etat.suivante = depuis;
  }
  // Ours all lie at or before the count now.
  std::int32_t compte = 0;
  if (Resultat r = valeurs.caisse.compte_mouvements(compte);
      !r && !valeurs.caisse.sans_fichier_mouvements())
    return caisse_illisible(nom_fichier_mouvements, r.raison());
  etat.mouvements_avant = compte;

  Application application(valeurs, fenetre, etat);
  if (ligne_a_refaire) application.ligne_a_refaire(*ligne_a_refaire);
  const bool fini = application.applique(depuis);
  valeurs.caisse.ferme_articles();
  if (fini) {
    efface_analyse();
    if (termine) *termine = FichierTermine{etat.nom, etat.taille_fichier, etat.empreinte_fichier};
    return FinAnalyse::finie;
  }
  return application.caisse_illisible() ? FinAnalyse::caisse_illisible : FinAnalyse::en_attente;
}

}  // namespace

bool applique_analyse(ValeursProgramme& valeurs, FenetreEchange& fenetre) {
  try {
    const TenueDossiers dossiers(valeurs, fenetre);
    return applique_fichier(valeurs, fenetre, Depart::bouton, nom_fichier_analyse) ==
           FinAnalyse::finie;
  } catch (const std::bad_alloc&) {
    valeurs.caisse.ferme_articles();
    return false;
  }
}

FinAnalyse reprend_analyse(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                           std::optional<FichierTermine>& termine) {
  termine.reset();
  try {
    const TenueDossiers dossiers(valeurs, fenetre);
    return applique_fichier(valeurs, fenetre, Depart::reprise, nom_fichier_analyse, &termine);
  } catch (const std::bad_alloc&) {
    valeurs.caisse.ferme_articles();
    return FinAnalyse::en_attente;
  }
}

FinAnalyse applique_import(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                           std::string_view nom) {
  try {
    const TenueDossiers dossiers(valeurs, fenetre);
    return applique_fichier(valeurs, fenetre, Depart::import, nom);
  } catch (const std::bad_alloc&) {
    valeurs.caisse.ferme_articles();
    return FinAnalyse::en_attente;
  }
}

bool analyse_en_attente() {
  // Anything under the progress file's name counts: a folder put there
  // must be moved aside, or no file could ever be taken again.
  return existe_fichier(nom_fichier_analyse) || existe_entree(nom_fichier_reprise);
}

}  // namespace pontex
