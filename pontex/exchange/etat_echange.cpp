#include "pontex/exchange/etat_echange.h"

#include <charconv>
#include <cmath>
#include <map>
#include <variant>

#include "pontex/exchange/textes_journal.h"
#include "pontex/shared/encodage.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/fichiers_transit.h"
#include "pontex/shared/journal_fichier.h"
#include "pontex/shared/nombres.h"

namespace pontex {

void CompteurEchange::ajoute_journal(std::string_view message, SorteLigne sorte) {
  switch (sorte) {
    case SorteLigne::fichier_pris:
      ++bilan_.fichiers_pris;
      break;
    case SorteLigne::mouvement:
      ++bilan_.mouvements_appliques;
      break;
    case SorteLigne::erreur:
    case SorteLigne::arret:
      ++bilan_.erreurs;
      bilan_.derniere_erreur = message;
      break;
    case SorteLigne::refus:
      ++bilan_.refus;
      bilan_.derniere_erreur = message;
      break;
    case SorteLigne::information:
      break;
  }
  fenetre_.ajoute_journal(message, sorte);
}

int minutes_avant_relance(std::string_view tim_ana) {
  // The countdown's own steps: the caption's number less one, shown with
  // "00" and read back, until it is 0 or less. A delay beyond a year is
  // cut there: no shop waits that long, and the loop stays short.
  constexpr int plafond = 366 * 24 * 60;
  double reste = lit_nombre(tim_ana);
  if (reste >= plafond) return plafond;
  int minutes = 0;
  do {
    reste = lit_nombre(format_00(reste - 1));
    ++minutes;
  } while (reste > 0 && minutes < plafond);
  return minutes;
}

namespace {

constexpr struct {
  EtatPontex etat;
  std::string_view nom;
} noms_etats[] = {
    {EtatPontex::echange, "echange"},
    {EtatPontex::verrou_refuse, "verrou_refuse"},
    {EtatPontex::transit_absent, "transit_absent"},
    {EtatPontex::caisse_absente, "caisse_absente"},
    {EtatPontex::journal_non_ecrit, "journal_non_ecrit"},
    {EtatPontex::arret_systeme, "arret_systeme"},
    {EtatPontex::arrete_utilisateur, "arrete_utilisateur"},
    {EtatPontex::relance_impossible, "relance_impossible"},
};

// The program has ended and nobody restarts it: no exchange is due.
bool fin_definitive(EtatPontex etat) {
  return etat == EtatPontex::arret_systeme || etat == EtatPontex::arrete_utilisateur ||
         etat == EtatPontex::relance_impossible;
}

Moment prochain_apres(std::int64_t maintenant, int minutes) {
  return moment_local(maintenant + std::int64_t{minutes} * 60 + secondes_relance);
}

}  // namespace

std::string_view nom_etat(EtatPontex etat) {
  for (const auto& n : noms_etats)
    if (n.etat == etat) return n.nom;
  return "echange";
}

std::optional<EtatPontex> etat_de_nom(std::string_view nom) {
  for (const auto& n : noms_etats)
    if (n.nom == nom) return n.etat;
  return std::nullopt;
}

// Since when the state `etat` lasts, at `maintenant`: a lock refused at
// every restart is one outage, from its first time.
std::optional<Moment> depuis_quand(EtatPontex etat, std::int64_t maintenant,
                                   const std::optional<EtatEchange>& precedent) {
  if (etat == EtatPontex::echange) return std::nullopt;
  if (precedent && precedent->etat == etat && precedent->depuis) return precedent->depuis;
  return moment_local(maintenant);
}

EtatEchange etat_apres_echange(const BilanEchange& bilan, std::string_view tim_ana,
                               std::int64_t maintenant, const std::optional<EtatEchange>& precedent,
                               EtatPontex etat, std::string_view raison) {
  EtatEchange e;
  e.etat = etat;
  e.raison = utf8_depuis_cp1252(raison);
  e.depuis = depuis_quand(etat, maintenant, precedent);
  e.dernier_echange = moment_local(maintenant);
  if (bilan.bon())
    e.dernier_echange_bon = e.dernier_echange;
  else if (precedent)
    e.dernier_echange_bon = precedent->dernier_echange_bon;
  e.fichiers_pris = bilan.fichiers_pris;
  e.mouvements_appliques = bilan.mouvements_appliques;
  e.erreurs = bilan.erreurs;
  e.refus = bilan.refus;
  e.garanties_non_tenues = bilan.garanties_non_tenues;
  e.derniere_erreur = utf8_depuis_cp1252(bilan.derniere_erreur);
  e.minutes_entre_echanges = minutes_avant_relance(tim_ana);
  e.prochain_echange = prochain_apres(maintenant, e.minutes_entre_echanges);
  return e;
}

EtatEchange etat_hors_echange(EtatPontex etat, std::string_view raison, std::string_view tim_ana,
                              std::int64_t maintenant,
                              const std::optional<EtatEchange>& precedent) {
  EtatEchange e;
  if (precedent) {
    // The last exchange that ran, as it was: no exchange ran since.
    e = *precedent;
    e.garanties_non_tenues = 0;
  }
  e.etat = etat;
  e.raison = utf8_depuis_cp1252(raison);
  e.depuis = depuis_quand(etat, maintenant, precedent);
  e.minutes_entre_echanges = minutes_avant_relance(tim_ana);
  if (fin_definitive(etat))
    e.prochain_echange.reset();
  else
    e.prochain_echange = prochain_apres(maintenant, e.minutes_entre_echanges);
  return e;
}

// --- The JSON text -----------------------------------------------------------

namespace {

void ajoute_chaine(std::string& s, std::string_view texte) {
  s.push_back('"');
  for (const char c : texte) {
    const auto o = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      s.push_back('\\');
      s.push_back(c);
    } else if (o < 0x20 || o == 0x7F) {
      static constexpr char hex[] = "0123456789abcdef";
      s += "\\u00";
      s.push_back(hex[o >> 4]);
      s.push_back(hex[o & 15]);
    } else {
      s.push_back(c);
    }
  }
  s.push_back('"');
}

void ajoute_champ(std::string& s, std::string_view nom, std::string_view valeur_json,
                  bool dernier) {
  s += "  ";
  ajoute_chaine(s, nom);
  s += ": ";
  s += valeur_json;
  s += dernier ? "\n" : ",\n";
}

std::string chaine(std::string_view texte) {
  std::string s;
  ajoute_chaine(s, texte);
  return s;
}

using Valeur = std::variant<std::monostate, std::string, std::int64_t, bool>;

// A flat JSON object of strings, whole numbers, booleans and nulls: what
// Pontex writes. Anything else (nesting, fractions, a cut-short file) is
// not a status file.
class LecteurJson {
 public:
  explicit LecteurJson(std::string_view t) : t_(t) {}

  std::optional<std::map<std::string, Valeur>> objet() {
    std::map<std::string, Valeur> champs;
    blancs();
    if (!prend('{')) return std::nullopt;
    blancs();
    if (prend('}')) return fin() ? std::optional(champs) : std::nullopt;
    for (;;) {
      blancs();
      std::string nom;
      if (!chaine(nom)) return std::nullopt;
      blancs();
      if (!prend(':')) return std::nullopt;
      blancs();
      Valeur v;
      if (!valeur(v)) return std::nullopt;
      champs[nom] = std::move(v);
      blancs();
      if (prend('}')) break;
      if (!prend(',')) return std::nullopt;
    }
    return fin() ? std::optional(champs) : std::nullopt;
  }

 private:
  bool fin() {
    blancs();
    return i_ == t_.size();
  }
  void blancs() {
    while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\n' || t_[i_] == '\r'))
      ++i_;
  }
  bool prend(char c) {
    if (i_ < t_.size() && t_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool mot(std::string_view m) {
    if (t_.substr(i_, m.size()) != m) return false;
    i_ += m.size();
    return true;
  }
  bool hex4(unsigned& u) {
    if (i_ + 4 > t_.size()) return false;
    u = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = t_[i_++];
      u <<= 4;
      if (c >= '0' && c <= '9')
        u |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        u |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        u |= static_cast<unsigned>(c - 'A' + 10);
      else
        return false;
    }
    return true;
  }
  static void utf8(std::string& s, unsigned u) {
    if (u < 0x80) {
      s.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      s.push_back(static_cast<char>(0xC0 | (u >> 6)));
      s.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else if (u < 0x10000) {
      s.push_back(static_cast<char>(0xE0 | (u >> 12)));
      s.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      s.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      s.push_back(static_cast<char>(0xF0 | (u >> 18)));
      s.push_back(static_cast<char>(0x80 | ((u >> 12) & 0x3F)));
      s.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      s.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  bool chaine(std::string& s) {
    if (!prend('"')) return false;
    while (i_ < t_.size()) {
      const char c = t_[i_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        s.push_back(c);
        continue;
      }
      if (i_ >= t_.size()) return false;
      const char e = t_[i_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          s.push_back(e);
          break;
        case 'b':
          s.push_back('\b');
          break;
        case 'f':
          s.push_back('\f');
          break;
        case 'n':
          s.push_back('\n');
          break;
        case 'r':
          s.push_back('\r');
          break;
        case 't':
          s.push_back('\t');
          break;
        case 'u': {
          unsigned u = 0;
          if (!hex4(u)) return false;
          if (u >= 0xD800 && u <= 0xDBFF) {
            unsigned bas = 0;
            if (!mot("\\u") || !hex4(bas) || bas < 0xDC00 || bas > 0xDFFF) return false;
            u = 0x10000 + ((u - 0xD800) << 10) + (bas - 0xDC00);
          } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
          }
          utf8(s, u);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }
  bool valeur(Valeur& v) {
    if (i_ >= t_.size()) return false;
    const char c = t_[i_];
    if (c == '"') {
      std::string s;
      if (!chaine(s)) return false;
      v = std::move(s);
      return true;
    }
    if (mot("null")) return (v = std::monostate{}), true;
    if (mot("true")) return (v = true), true;
    if (mot("false")) return (v = false), true;
    std::int64_t n = 0;
    const auto r = std::from_chars(t_.data() + i_, t_.data() + t_.size(), n);
    if (r.ec != std::errc() || r.ptr == t_.data() + i_) return false;
    i_ = static_cast<std::size_t>(r.ptr - t_.data());
    // A fraction or an exponent: not one of ours.
    if (i_ < t_.size() && (t_[i_] == '.' || t_[i_] == 'e' || t_[i_] == 'E')) return false;
    v = n;
    return true;
  }

  std::string_view t_;
  std::size_t i_ = 0;
};

// Bound of a status file read back: ours are a few hundred bytes.
constexpr std::int64_t taille_max_etat = 64 * 1024;

// Beyond any count an exchange could reach, and low enough that the sums
// the verdict makes cannot overflow.
constexpr std::int64_t compte_max = 1'000'000'000'000'000'000;

std::string moment_json(const std::optional<Moment>& m) {
  return m ? chaine(format_iso8601(*m)) : std::string("null");
}

}  // namespace

std::string texte_etat(const EtatEchange& e) {
  std::string s = "{\n";
  ajoute_champ(s, "version", chaine(e.version), false);
  ajoute_champ(s, "processus", std::to_string(e.processus), false);
  ajoute_champ(s, "etat", chaine(nom_etat(e.etat)), false);
  ajoute_champ(s, "raison", chaine(e.raison), false);
  ajoute_champ(s, "depuis", moment_json(e.depuis), false);
  ajoute_champ(s, "dernier_echange", moment_json(e.dernier_echange), false);
  ajoute_champ(s, "dernier_echange_bon", moment_json(e.dernier_echange_bon), false);
  ajoute_champ(s, "fichiers_pris", std::to_string(e.fichiers_pris), false);
  ajoute_champ(s, "mouvements_appliques", std::to_string(e.mouvements_appliques), false);
  ajoute_champ(s, "erreurs", std::to_string(e.erreurs), false);
  ajoute_champ(s, "refus", std::to_string(e.refus), false);
  ajoute_champ(s, "garanties_non_tenues", std::to_string(e.garanties_non_tenues), false);
  ajoute_champ(s, "derniere_erreur", chaine(e.derniere_erreur), false);
  ajoute_champ(s, "minutes_entre_echanges", std::to_string(e.minutes_entre_echanges), false);
  ajoute_champ(s, "prochain_echange", moment_json(e.prochain_echange), true);
  s += "}\n";
  return s;
}

std::optional<EtatEchange> lit_texte_etat(std::string_view texte) {
  const auto champs = LecteurJson(texte).objet();
  if (!champs) return std::nullopt;
  const auto texte_de = [&](const char* nom) -> const std::string* {
    const auto i = champs->find(nom);
    return i == champs->end() ? nullptr : std::get_if<std::string>(&i->second);
  };
  const auto nombre_de = [&](const char* nom) -> std::optional<std::int64_t> {
    const auto i = champs->find(nom);
    if (i == champs->end()) return std::nullopt;
    if (const auto* n = std::get_if<std::int64_t>(&i->second)) return *n;
    return std::nullopt;
  };
  const auto moment_de = [&](const char* nom) -> std::optional<Moment> {
    const std::string* t = texte_de(nom);
    return t ? lit_iso8601(*t) : std::nullopt;
  };

  EtatEchange e;
  // A file of an earlier version names no state: it was written after an
  // exchange. A state this version does not know is not to be guessed.
  if (champs->contains("etat")) {
    const std::string* nom = texte_de("etat");
    const auto etat = nom ? etat_de_nom(*nom) : std::nullopt;
    if (!etat) return std::nullopt;
    e.etat = *etat;
  }
  // What the verdict rests on must be there; the rest has its default.
  e.dernier_echange = moment_de("dernier_echange");
  e.prochain_echange = moment_de("prochain_echange");
  e.depuis = moment_de("depuis");
  const auto minutes = nombre_de("minutes_entre_echanges");
  if (!minutes || *minutes < 1 || *minutes > 366 * 24 * 60) return std::nullopt;
  if (e.etat == EtatPontex::echange ? !e.dernier_echange || !e.prochain_echange : !e.depuis)
    return std::nullopt;
  e.minutes_entre_echanges = static_cast<int>(*minutes);
  e.dernier_echange_bon = moment_de("dernier_echange_bon");
  if (const auto* v = texte_de("version")) e.version = *v;
  if (const auto* r = texte_de("raison")) e.raison = *r;
  if (const auto* d = texte_de("derniere_erreur")) e.derniere_erreur = *d;
  // Pontex never writes a negative count or one beyond any exchange.
  bool plausible = true;
  const auto compte = [&](const char* nom) {
    const std::int64_t n = nombre_de(nom).value_or(0);
    if (n < 0 || n > compte_max) plausible = false;
    return n;
  };
  e.processus = compte("processus");
  e.fichiers_pris = compte("fichiers_pris");
  e.mouvements_appliques = compte("mouvements_appliques");
  e.erreurs = compte("erreurs");
  e.refus = compte("refus");
  e.garanties_non_tenues = compte("garanties_non_tenues");
  if (!plausible) return std::nullopt;
  return e;
}

std::optional<std::string> lit_fichier_etat(std::string_view chemin) {
  const std::optional<std::int64_t> taille = taille_fichier(chemin);
  if (!taille) {
    // A folder or a link in its place is not "no file": it cannot be read.
    return existe_dossier(chemin) ? std::optional<std::string>(std::string()) : std::nullopt;
  }
  std::string contenu;
  if (*taille > taille_max_etat || !lit_texte(chemin, contenu)) return std::string();
  return contenu;
}

namespace {

std::optional<EtatEchange> etat_precedent() {
  if (const auto ancien = lit_fichier_etat(nom_fichier_etat)) return lit_texte_etat(*ancien);
  return std::nullopt;
}

Resultat remplace_etat(EtatEchange& e, std::string_view version, std::int64_t processus) {
  e.version = std::string(version);
  e.processus = processus;
  // Whoever reads the file sees the old one or the new one, whole.
  DossierTenu courant;
  if (ouvre_dossier("", courant) != OuvertureDossier::ouvert)
    return Resultat::echec("the working folder cannot be opened");
  std::string temporaire;
  if (auto r = ecrit_temporaire(courant, texte_etat(e), temporaire); !r) return r;
  if (auto r = renomme_entree(courant, temporaire, nom_fichier_etat); !r) {
    (void)supprime_entree({courant, temporaire});  // a stray temporary file is all that is left
    return r;
  }
  return Resultat::succes();
}

}  // namespace

Resultat ecrit_etat_echange(const BilanEchange& bilan, std::string_view tim_ana,
                            std::string_view version, std::int64_t processus, EtatPontex etat,
                            std::string_view raison) {
  EtatEchange e =
      etat_apres_echange(bilan, tim_ana, secondes_maintenant(), etat_precedent(), etat, raison);
  return remplace_etat(e, version, processus);
}

Resultat ecrit_etat_hors_echange(EtatPontex etat, std::string_view raison, std::string_view tim_ana,
                                 std::string_view version, std::int64_t processus,
                                 std::int64_t garanties_non_tenues) {
  EtatEchange e = etat_hors_echange(etat, raison, tim_ana, secondes_maintenant(), etat_precedent());
  e.garanties_non_tenues = garanties_non_tenues;
  return remplace_etat(e, version, processus);
}

// --- pontex-etat's verdict ---------------------------------------------------

namespace {

std::string duree(std::int64_t secondes) {
  if (secondes < 0) secondes = 0;
  if (secondes < 120) return std::to_string(secondes) + " s";
  if (secondes < 2 * 3600) return std::to_string(secondes / 60) + " min";
  const std::int64_t minutes = secondes / 60;
  std::string m = std::to_string(minutes % 60);
  if (m.size() < 2) m.insert(0, "0");
  return std::to_string(minutes / 60) + " h " + m + " min";
}

// One line for the monitoring tool: no line break, and no "|", which
// starts its performance data.
std::string sur_une_ligne(std::string texte) {
  for (char& c : texte) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    if (c == '|') c = '/';
  }
  return texte;
}

// What a state where no exchange runs means, for the one line.
std::string_view libelle(EtatPontex etat) {
  switch (etat) {
    case EtatPontex::verrou_refuse:
      return "folder lock refused";
    case EtatPontex::transit_absent:
      return "transit folder missing";
    case EtatPontex::caisse_absente:
      return "register data away";
    case EtatPontex::journal_non_ecrit:
      return "journal not written";
    case EtatPontex::arret_systeme:
      return "stopped by the system";
    case EtatPontex::arrete_utilisateur:
      return "stopped by the user";
    case EtatPontex::relance_impossible:
      return "restart impossible";
    case EtatPontex::echange:
      break;
  }
  return "exchange";
}

// The times an exchange is due by, from the state read, and what every
// verdict ends with: the last exchanges and the performance data.
struct Echeances {
  std::int64_t age = 0;            // since the last exchange, or the state's start
  std::int64_t limite_retard = 0;  // late after this
  std::int64_t limite_arret = 0;   // stopped after this
  std::string dernier;             // the last exchange, or "none"
  std::string bon;                 // the last good one, or "never"
  std::string perf;
};

Echeances echeances(const EtatEchange& e, std::int64_t maintenant) {
  // The outage is counted from the last exchange that ran, or from the
  // state's start when none ever ran here.
  const Moment depart = e.dernier_echange ? *e.dernier_echange : *e.depuis;
  const std::int64_t periode = std::int64_t{e.minutes_entre_echanges} * 60;
  const std::int64_t prevu = e.prochain_echange ? e.prochain_echange->secondes
                                                : depart.secondes + periode + secondes_relance;
  Echeances h;
  h.age = maintenant - depart.secondes;
  h.limite_retard = prevu + secondes_retard;
  h.limite_arret = depart.secondes + 2 * periode + secondes_marge_arret;
  h.dernier = e.dernier_echange ? format_iso8601(*e.dernier_echange) : std::string("none");
  h.bon = e.dernier_echange_bon ? format_iso8601(*e.dernier_echange_bon) : std::string("never");
  h.perf = " | age=" + std::to_string(h.age < 0 ? 0 : h.age) + "s;" +
           std::to_string(h.limite_retard - depart.secondes) + ";" +
           std::to_string(h.limite_arret - depart.secondes) +
           " fichiers=" + std::to_string(e.fichiers_pris) +
           " mouvements=" + std::to_string(e.mouvements_appliques) +
           " erreurs=" + std::to_string(e.erreurs) + " refus=" + std::to_string(e.refus);
  return h;
}

// A state where no exchange runs (lock refused, register away, stopped...).
Verdict juge_hors_echange(const EtatEchange& e, const Echeances& h, std::int64_t maintenant) {
  const std::string pourquoi = std::string(libelle(e.etat)) + ": " + sur_une_ligne(e.raison);
  const std::string depuis = format_iso8601(*e.depuis);
  // Nobody will start it again by itself: stopped now, not in an hour.
  if (e.etat == EtatPontex::arrete_utilisateur || e.etat == EtatPontex::relance_impossible) {
    return {2, "PONTEX CRITICAL - " + pourquoi + " (since " + depuis + "); last exchange " +
                   h.dernier + ", last good exchange " + h.bon + h.perf};
  }
  if (maintenant > h.limite_arret) {
    return {2, "PONTEX CRITICAL - stopped: no exchange for " + duree(h.age) + ", " + pourquoi +
                   " (since " + depuis + "); last exchange " + h.dernier + h.perf};
  }
  return {1, "PONTEX WARNING - " + pourquoi + " (since " + depuis + "); last exchange " +
                 h.dernier + ", last good exchange " + h.bon + h.perf};
}

// Exchanges run: on time or not, and what the last one met.
Verdict juge_echanges(const EtatEchange& e, const Echeances& h, std::int64_t maintenant) {
  if (maintenant > h.limite_arret) {
    return {2, "PONTEX CRITICAL - stopped: last exchange " + h.dernier + ", " + duree(h.age) +
                   " ago; one is expected every " + std::to_string(e.minutes_entre_echanges) +
                   " min" + h.perf};
  }
  if (maintenant > h.limite_retard) {
    return {1, "PONTEX WARNING - late: last exchange " + h.dernier + ", " + duree(h.age) +
                   " ago; the next was due " + format_iso8601(*e.prochain_echange) + h.perf};
  }
  if (e.erreurs + e.refus > 0) {
    return {1, "PONTEX WARNING - " + std::to_string(e.erreurs + e.refus) +
                   " error(s) in the last exchange " + h.dernier + ", the last: " +
                   sur_une_ligne(e.derniere_erreur) + "; last good exchange " + h.bon + h.perf};
  }
  if (e.garanties_non_tenues > 0) {
    return {1, "PONTEX WARNING - " + std::to_string(e.garanties_non_tenues) +
                   " write(s) of the journal or status file failed before the last exchange " +
                   h.dernier + "; last good exchange " + h.bon + h.perf};
  }
  return {0, "PONTEX OK - last exchange " + h.dernier + ": " + std::to_string(e.fichiers_pris) +
                 " file(s) taken, " + std::to_string(e.mouvements_appliques) +
                 " movement(s) applied; next due " + format_iso8601(*e.prochain_echange) + h.perf};
}

}  // namespace

Verdict juge_etat(const std::optional<std::string>& contenu, std::int64_t maintenant) {
  const std::string fichier(nom_fichier_etat);
  if (!contenu) {
    return {2, "PONTEX CRITICAL - no " + fichier +
                   ": Pontex has not finished an exchange in this folder"};
  }
  const std::optional<EtatEchange> e = lit_texte_etat(*contenu);
  if (!e) return {3, "PONTEX UNKNOWN - " + fichier + " cannot be read"};
  // Pontex writes what has happened: a date ahead of this clock means the
  // file, or one of the clocks, is wrong, and no age can be told from it.
  for (const auto& m : {e->dernier_echange, e->dernier_echange_bon, e->depuis}) {
    if (m && m->secondes > maintenant + secondes_avance_tolere) {
      return {3, "PONTEX UNKNOWN - " + fichier +
                     " holds a date ahead of this clock: " + format_iso8601(*m)};
    }
  }
  const Echeances h = echeances(*e, maintenant);
  return e->etat == EtatPontex::echange ? juge_echanges(*e, h, maintenant)
                                        : juge_hors_echange(*e, h, maintenant);
}

}  // namespace pontex
