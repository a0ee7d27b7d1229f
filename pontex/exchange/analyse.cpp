#include <algorithm>
#include <bit>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "pontex/exchange/articles_echange.h"
#include "pontex/exchange/echange.h"
#include "pontex/exchange/lecteur_analyse.h"
#include "pontex/exchange/mouvement.h"
#include "pontex/exchange/reprise.h"
#include "pontex/exchange/texte_mouvements.h"
#include "pontex/exchange/textes_journal.h"
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

// One working file being applied: where it is read, what the progress file
// holds, and why it stopped when it did.
class Application {
 public:
  Application(ValeursProgramme& valeurs, FenetreEchange& fenetre, EtatReprise& etat)
      : valeurs_(valeurs), fenetre_(fenetre), etat_(etat) {}

  // Applies the records from byte `depuis` (record number etat.numero) to
  // the end. False when it stopped before a record that the next start
  // takes up (a line the error file refused, a progress note not written,
  // the working file unreadable).
  bool applique(std::int64_t depuis);

 private:
  void applique_record(const RecordMouvement& record);
  bool signale(std::string_view motif, std::string_view texte,
               const std::optional<double>& quantite,
               std::optional<std::string_view> texte_quantite = std::nullopt);
  bool note(EtatReprise::Attente attente);
  void arrete(std::string_view pourquoi);

  ValeursProgramme& valeurs_;
  FenetreEchange& fenetre_;
  EtatReprise& etat_;
  SuiviReprise suivi_;
  bool arrete_ = false;
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
  std::string ligne(pourquoi);
  ligne += textes::arret;
  ligne += std::to_string(etat_.numero);
  ligne += textes::arret_fin;
  fenetre_.ajoute_journal(ligne);
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

  etat_.date_erreurs = format_jj_mm_aaaa(valeurs_.horloge->maintenant());
  const DossierTenu& import = valeurs_.dossiers->reception;
  const std::string nom = "erreurs_" + etat_.date_erreurs + ".err";
  etat_.taille_erreurs = taille_entree({import, nom}).value_or(0);
  etat_.longueur_ligne = static_cast<std::int64_t>(ligne.size());
  etat_.empreinte_ligne = empreinte(ligne);
  if (!note(EtatReprise::Attente::ligne_erreur)) return false;

  texte_journal += motif;
  texte_journal += texte;
  if (!ecrit_ligne_erreurs(import, nom, ligne)) {
    // Going on would drop this reference: the file waits for the next
    // start, which writes the line and goes on from there.
    fenetre_.ajoute_journal(texte_journal);
    arrete(textes::erreurs_non_ecrites);
    return false;
  }
  fenetre_.ajoute_journal(texte_journal);
  return true;
}

void Application::applique_record(const RecordMouvement& record) {
  const std::optional<double> quantite = quantite_record(record);
  if (!quantite) {
    std::string_view texte = record.texte_quantite;
    texte.remove_suffix(texte.size() - (texte.find_last_not_of(" \t") + 1));
    texte.remove_prefix(std::min(texte.size(), texte.find_first_not_of(" \t")));
    signale(textes::erreur_quantite, record.reference, quantite, texte);
    return;
  }
  const std::int32_t k = valeurs_.caisse.cherche_article(record.reference);
  if (k < 1) {
    signale(textes::erreur_reference, record.reference, quantite);
    return;
  }
  // The recording reads the article itself, at the last moment, and checks
  // that read: reading it here too would only cost a system call.
  valeurs_.numero_article = k;
  valeurs_.quantite = *quantite;
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
  std::int32_t numero = 0;
  std::string_view motif;
  if (applique_mouvement(valeurs_, fenetre_, avant_ecriture, &numero, &motif)) {
    if (numero > 0) etat_.mouvements_avant = numero;
  } else if (note_ecrite) {
    signale(motif, record.reference, quantite);
  }
}

bool Application::applique(std::int64_t depuis) {
  if (!suivi_.commence(etat_)) {
    arrete(textes::suivi_non_ecrit);
    return false;
  }
  LecteurAnalyse lecteur;
  if (!lecteur.ouvre(nom_fichier_analyse, depuis)) return false;
  LigneAnalyse ligne;
  while (!arrete_ && lecteur.suivante(ligne)) {
    etat_.debut = ligne.debut;
    etat_.suivante = ligne.suivante;
    switch (ligne.sorte) {
      case LigneAnalyse::Sorte::record:
        applique_record(coupe_record(ligne.texte));
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
  // What the file changed goes to the disk before the file is noted as
  // finished: after a power cut, a finished file is never applied again.
  (void)valeurs_.caisse.vide_tampons();
  (void)suivi_.termine(etat_);
  suivi_.ferme();
  return true;
}

// Movements the movement file counts now: ours all lie at or before it.
std::int32_t compte_mouvements(const ValeursProgramme& valeurs) {
  EnregistrementMouvement entete = EnregistrementMouvement::vierge();
  FichierRecords f;
  std::size_t lus = 0;
  if (!f.ouvre(valeurs.caisse.chemin(nom_fichier_mouvements), EnregistrementMouvement::longueur) ||
      !f.lit(1, entete.octets.data(), 1, lus) || lus != 1)
    return 0;
  return std::max(entete.poste(), 0);
}

void journal_reprise_impossible(FenetreEchange& fenetre, std::string_view pourquoi,
                                std::string_view nom) {
  std::string ligne(textes::reprise_impossible);
  ligne += pourquoi;
  ligne += nom;
  fenetre.ajoute_journal(ligne);
}

// The working file and its progress file go together when a file is
// finished, in this order: a working file without a progress file is one
// whose application has not begun.
void efface_analyse() {
  // A file left behind is settled by the next start's check of its progress.
  (void)supprime_fichier(nom_fichier_analyse);
  (void)supprime_fichier(nom_fichier_reprise);
}

bool applique_fichier(ValeursProgramme& valeurs, FenetreEchange& fenetre, std::string_view nom,
                      bool nouveau) {
  EtatReprise precedent;
  const LectureReprise lecture = nouveau ? LectureReprise::absente : lit_reprise(precedent);
  const bool present = existe_fichier(nom_fichier_analyse);
  if (!present) {
    if (lecture == LectureReprise::lue && precedent.attente != EtatReprise::Attente::termine)
      journal_reprise_impossible(fenetre, textes::reprise_sans_fichier, precedent.nom);
    else if (lecture == LectureReprise::illisible)
      journal_reprise_impossible(fenetre, textes::reprise_illisible, {});
    // One left behind is found and set aside again at the next start.
    if (lecture != LectureReprise::absente) (void)supprime_fichier(nom_fichier_reprise);
    return true;
  }

  EtatReprise etat;
  etat.nom = std::string(nom);
  if (!empreinte_fichier(nom_fichier_analyse, etat.taille_fichier, etat.empreinte_fichier)) {
    // Unreadable: left for the next start.
    return false;
  }
  std::int64_t depuis = 0;
  if (lecture == LectureReprise::illisible) {
    journal_reprise_impossible(fenetre, textes::reprise_illisible, {});
    efface_analyse();
    return true;
  }
  std::int32_t n = 0;
  // Unopened, every lookup fails and each record goes to the error file.
  (void)valeurs.caisse.ouvre_articles(n);
  valeurs.nombre_articles = n;
  if (lecture == LectureReprise::lue) {
    if (precedent.taille_fichier != etat.taille_fichier ||
        precedent.empreinte_fichier != etat.empreinte_fichier) {
      journal_reprise_impossible(fenetre, textes::reprise_autre_fichier, precedent.nom);
      valeurs.caisse.ferme_articles();
      efface_analyse();
      return true;
    }
    if (precedent.attente == EtatReprise::Attente::termine) {
      valeurs.caisse.ferme_articles();
      efface_analyse();
      return true;
    }
    const Reglement reglement = regle_record(valeurs, precedent);
    std::string ligne(textes::reprise);
    ligne += precedent.nom;
    ligne += textes::reprise_a_partir;
    ligne += std::to_string(reglement.premier);
    fenetre.ajoute_journal(ligne);
    if (!reglement.alerte.empty()) fenetre.ajoute_journal(reglement.alerte);
    depuis = reglement.depuis;
    etat = precedent;
    etat.numero = reglement.numero;
    etat.attente = EtatReprise::Attente::rien;
    etat.debut = etat.suivante = depuis;
  }
  etat.mouvements_avant = compte_mouvements(valeurs);

  Application application(valeurs, fenetre, etat);
  const bool fini = application.applique(depuis);
  valeurs.caisse.ferme_articles();
  if (fini) efface_analyse();
  return fini;
}

}  // namespace

bool applique_analyse(ValeursProgramme& valeurs, FenetreEchange& fenetre) {
  try {
    const TenueDossiers dossiers(valeurs, fenetre);
    return applique_fichier(valeurs, fenetre, nom_fichier_analyse, false);
  } catch (const std::bad_alloc&) {
    valeurs.caisse.ferme_articles();
    return false;
  }
}

bool applique_import(ValeursProgramme& valeurs, FenetreEchange& fenetre, std::string_view nom) {
  try {
    const TenueDossiers dossiers(valeurs, fenetre);
    return applique_fichier(valeurs, fenetre, nom, true);
  } catch (const std::bad_alloc&) {
    valeurs.caisse.ferme_articles();
    return false;
  }
}

bool analyse_en_attente() {
  return existe_fichier(nom_fichier_analyse) || taille_fichier(nom_fichier_reprise).has_value();
}

}  // namespace pontex
