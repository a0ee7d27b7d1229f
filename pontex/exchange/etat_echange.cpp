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

EtatEchange etat_apres_echange(const BilanEchange& bilan, std::string_view tim_ana,
                               std::int64_t maintenant,
                               const std::optional<EtatEchange>& precedent) {
  EtatEchange e;
  e.dernier_echange = moment_local(maintenant);
  if (bilan.bon())
    e.dernier_echange_bon = e.dernier_echange;
  else if (precedent)
    e.dernier_echange_bon = precedent->dernier_echange_bon;
  e.fichiers_pris = bilan.fichiers_pris;
  e.mouvements_appliques = bilan.mouvements_appliques;
  e.erreurs = bilan.erreurs;
  e.refus = bilan.refus;
  e.derniere_erreur = utf8_depuis_cp1252(bilan.derniere_erreur);
  e.minutes_entre_echanges = minutes_avant_relance(tim_ana);
  e.prochain_echange =
      moment_local(maintenant + std::int64_t{e.minutes_entre_echanges} * 60 + secondes_relance);
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

}  // namespace

std::string texte_etat(const EtatEchange& e) {
  std::string s = "{\n";
  ajoute_champ(s, "version", chaine(e.version), false);
  ajoute_champ(s, "processus", std::to_string(e.processus), false);
  ajoute_champ(s, "dernier_echange", chaine(format_iso8601(e.dernier_echange)), false);
  ajoute_champ(s, "dernier_echange_bon",
               e.dernier_echange_bon ? chaine(format_iso8601(*e.dernier_echange_bon)) : "null",
               false);
  ajoute_champ(s, "fichiers_pris", std::to_string(e.fichiers_pris), false);
  ajoute_champ(s, "mouvements_appliques", std::to_string(e.mouvements_appliques), false);
  ajoute_champ(s, "erreurs", std::to_string(e.erreurs), false);
  ajoute_champ(s, "refus", std::to_string(e.refus), false);
  ajoute_champ(s, "derniere_erreur", chaine(e.derniere_erreur), false);
  ajoute_champ(s, "minutes_entre_echanges", std::to_string(e.minutes_entre_echanges), false);
  ajoute_champ(s, "prochain_echange", chaine(format_iso8601(e.prochain_echange)), true);
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
  // What the verdict rests on must be there; the rest has its default.
  const auto dernier = moment_de("dernier_echange");
  const auto prochain = moment_de("prochain_echange");
  const auto minutes = nombre_de("minutes_entre_echanges");
  if (!dernier || !prochain || !minutes || *minutes < 1 || *minutes > 366 * 24 * 60)
    return std::nullopt;
  e.dernier_echange = *dernier;
  e.prochain_echange = *prochain;
  e.minutes_entre_echanges = static_cast<int>(*minutes);
  e.dernier_echange_bon = moment_de("dernier_echange_bon");
  if (const auto* v = texte_de("version")) e.version = *v;
  if (const auto* d = texte_de("derniere_erreur")) e.derniere_erreur = *d;
  e.processus = nombre_de("processus").value_or(0);
  e.fichiers_pris = nombre_de("fichiers_pris").value_or(0);
  e.mouvements_appliques = nombre_de("mouvements_appliques").value_or(0);
  e.erreurs = nombre_de("erreurs").value_or(0);
  e.refus = nombre_de("refus").value_or(0);
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

Resultat ecrit_etat_echange(const BilanEchange& bilan, std::string_view tim_ana,
                            std::string_view version, std::int64_t processus) {
  std::optional<EtatEchange> precedent;
  if (const auto ancien = lit_fichier_etat(nom_fichier_etat)) precedent = lit_texte_etat(*ancien);
  EtatEchange e = etat_apres_echange(bilan, tim_ana, secondes_maintenant(), precedent);
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

}  // namespace

Verdict juge_etat(const std::optional<std::string>& contenu, std::int64_t maintenant) {
  const std::string fichier(nom_fichier_etat);
  if (!contenu) {
    return {2, "PONTEX CRITICAL - no " + fichier +
                   ": Pontex has not finished an exchange in this folder"};
  }
  const std::optional<EtatEchange> e = lit_texte_etat(*contenu);
  if (!e) return {3, "PONTEX UNKNOWN - " + fichier + " cannot be read"};

  const std::int64_t periode = std::int64_t{e->minutes_entre_echanges} * 60;
  const std::int64_t age = maintenant - e->dernier_echange.secondes;
  const std::int64_t limite_retard = e->prochain_echange.secondes + secondes_retard;
  const std::int64_t limite_arret =
      e->dernier_echange.secondes + 2 * periode + secondes_marge_arret;
  const std::string dernier = format_iso8601(e->dernier_echange);
  const std::string perf = " | age=" + std::to_string(age < 0 ? 0 : age) + "s;" +
                           std::to_string(limite_retard - e->dernier_echange.secondes) + ";" +
                           std::to_string(limite_arret - e->dernier_echange.secondes) +
                           " fichiers=" + std::to_string(e->fichiers_pris) +
                           " mouvements=" + std::to_string(e->mouvements_appliques) +
                           " erreurs=" + std::to_string(e->erreurs + e->refus);

  if (maintenant > limite_arret) {
    return {2, "PONTEX CRITICAL - stopped: last exchange " + dernier + ", " + duree(age) +
                   " ago; one is expected every " + std::to_string(e->minutes_entre_echanges) +
                   " min" + perf};
  }
  if (maintenant > limite_retard) {
    return {1, "PONTEX WARNING - late: last exchange " + dernier + ", " + duree(age) +
                   " ago; the next was due " + format_iso8601(e->prochain_echange) + perf};
  }
  if (e->erreurs + e->refus > 0) {
    const std::string bon =
        e->dernier_echange_bon ? format_iso8601(*e->dernier_echange_bon) : std::string("never");
    return {1, "PONTEX WARNING - " + std::to_string(e->erreurs + e->refus) +
                   " error(s) in the last exchange " + dernier + ", the last: " +
                   sur_une_ligne(e->derniere_erreur) + "; last good exchange " + bon + perf};
  }
  return {0, "PONTEX OK - last exchange " + dernier + ": " + std::to_string(e->fichiers_pris) +
                 " file(s) taken, " + std::to_string(e->mouvements_appliques) +
                 " movement(s) applied; next due " + format_iso8601(e->prochain_echange) + perf};
}

}  // namespace pontex
