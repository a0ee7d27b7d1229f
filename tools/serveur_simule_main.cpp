// serveur_simule: the stock server of the demo shop. Delivers a stock
// movement file, waits for Pontex's exchange, collects the export, prints an
// account of what the exchange did, and delivers the next file. Also writes
// large movement files for the benchmarks.

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "pontex/shared/fichiers.h"
#include "pontex/shared/horloge.h"
#include "pontex/shared/nombres.h"
#include "tools/serveur_simule.h"

namespace {

using namespace pontex;
using namespace pontex::serveur;
using Montre = std::chrono::steady_clock;

constexpr const char* aide =
    "Usage: serveur_simule --boutique DIR --recus DIR [options]\n"
    "       serveur_simule --boutique DIR --ecrit-mouvements FILE --records N [--graine N]\n"
    "\n"
    "The stock server of a demo shop. DIR holds the shop's Pontex.wdo, which names\n"
    "the transit folder and the cash register. The server delivers a stock movement\n"
    "file into the import folder, waits for Pontex's exchange, moves the stock export\n"
    "into the --recus folder, tells what the exchange did, and starts again.\n"
    "\n"
    "  --echanges N        stop after N exchanges (default: run until interrupted)\n"
    "  --connues N         known references per file (12)\n"
    "  --graine N          seed of the draws (default: from the clock)\n"
    "  --attente-max S     give up when an exchange has not come after S seconds\n"
    "                      (default: never)\n"
    "  --journal FILE      also append the account to FILE\n"
    "  --ecrit-mouvements FILE --records N\n"
    "                      write N records for articles of the register into FILE\n"
    "                      and stop (a large delivery, for the benchmarks)\n"
    "\n"
    "Exit status: 0 done, 1 an exchange did not do what the file asked,\n"
    "2 wrong use or unreadable shop, 3 no exchange in time, 130 interrupted.\n";

volatile std::sig_atomic_t interrompu = 0;
void sur_signal(int) { interrompu = 1; }

template <typename T>
bool lit_valeur(std::string_view texte, T& v) {
  const char* fin = texte.data() + texte.size();
  auto [p, ec] = std::from_chars(texte.data(), fin, v);
  return ec == std::errc() && p == fin;
}

int erreur_usage(const std::string& message) {
  std::fprintf(stderr, "serveur_simule: %s\n(serveur_simule --help for help)\n", message.c_str());
  return 2;
}

std::string heure(const DateHeure& d) {
  return format_00(d.heure) + ":" + format_00(d.minute) + ":" + format_00(d.seconde);
}

std::string duree(long secondes) {
  if (secondes < 0) secondes = 0;
  if (secondes < 60) return std::to_string(secondes) + " s";
  return std::to_string(secondes / 60) + " min " + std::to_string(secondes % 60) + " s";
}

// Pads (or cuts) a Windows-1252 text to `largeur` characters before it
// becomes UTF-8, so that columns stay aligned with accented letters.
std::string colonne(std::string texte_1252, std::size_t largeur) {
  texte_1252.resize(largeur, ' ');
  return en_utf8(texte_1252);
}

std::string a_droite(const std::string& texte, std::size_t largeur) {
  return texte.size() >= largeur ? texte : std::string(largeur - texte.size(), ' ') + texte;
}

std::string signe(double q) { return (q > 0 ? "+" : "") + format_general(q, '.'); }

// The account goes to the terminal and, when asked, to a file. On a
// terminal the waiting line is rewritten in place; elsewhere it is printed
// now and then.
class Sortie {
 public:
  explicit Sortie(const std::string& journal) : terminal_(::isatty(STDOUT_FILENO) == 1) {
    if (!journal.empty()) fichier_.open(journal, std::ios::app);
  }

  void ligne(const std::string& texte) {
    efface_attente();
    std::fputs((texte + "\n").c_str(), stdout);
    std::fflush(stdout);
    if (fichier_) fichier_ << texte << '\n' << std::flush;
  }

  void attente(const std::string& texte, long secondes_depuis_derniere) {
    if (terminal_) {
      if (en_attente_ && texte == affiche_) return;
      std::fputs(("\r\033[K" + texte).c_str(), stdout);
      std::fflush(stdout);
      en_attente_ = true;
      affiche_ = texte;
    } else if (secondes_depuis_derniere >= 30) {
      ligne(texte);
    }
  }
  bool terminal() const { return terminal_; }

  void efface_attente() {
    if (!en_attente_) return;
    std::fputs("\r\033[K", stdout);
    en_attente_ = false;
  }

 private:
  bool terminal_;
  bool en_attente_ = false;
  std::string affiche_;  // the waiting line on the terminal
  std::ofstream fichier_;
};

// The number of the last exchange the account file tells of, 0 for none:
// a demo started again goes on counting where it stopped.
long dernier_echange(const std::string& journal) {
  std::ifstream f(journal);
  long dernier = 0;
  constexpr std::string_view marque = "] Exchange ";
  for (std::string l; std::getline(f, l);) {
    const auto p = l.find(marque);
    if (p == std::string::npos) continue;
    long n = 0;
    const char* debut = l.data() + p + marque.size();
    const auto r = std::from_chars(debut, l.data() + l.size(), n);
    if (r.ec == std::errc() && *r.ptr == ':') dernier = std::max(dernier, n);
  }
  return dernier;
}

// The names of the import folder's waiting files.
std::set<std::string> fichiers_en_attente(const Boutique& b) {
  std::vector<std::string> noms;
  // A folder that cannot be listed gives no names: nothing taken is told.
  (void)liste_fichiers(b.transit + "import", "*.txt", noms);
  return {noms.begin(), noms.end()};
}

void raconte_livraison(Sortie& s, const Envoi& e, const DateHeure& quand) {
  int connues = 0;
  for (const LigneEnvoyee& l : e.lignes) connues += l.numero >= 1;
  s.ligne("[" + heure(quand) + "] Server: delivered " + e.nom + " into the import folder (" +
          std::to_string(connues) + " known references, " +
          std::to_string(static_cast<int>(e.lignes.size()) - connues) + " unknown).");
}

void raconte_echange(Sortie& s, long numero, const Envoi& e, const std::vector<std::string>& autres,
                     const Bilan& b, const std::string& recus, const DateHeure& quand) {
  const std::string marge = "           ";
  // Every file the exchange took: the server's, and any other that waited
  // in the import folder (left there by an earlier run, or dropped by hand).
  const auto copie = [](const std::string& nom) { return nom.substr(0, nom.size() - 4) + ".old"; };
  std::string pris = e.nom, copies = copie(e.nom);
  for (const std::string& nom : autres) {
    pris += ", " + en_utf8(nom);
    copies += ", " + en_utf8(copie(nom));
  }
  s.ligne("[" + heure(quand) + "] Exchange " + std::to_string(numero) + ": Pontex took " + pris +
          (autres.empty() ? " (a copy stays" : " (copies stay") + " in the import folder as " +
          copies + ").");
  if (b.mouvements.empty()) {
    s.ligne(marge + "No movement recorded.");
  } else {
    s.ligne(marge + "Movements recorded in W_CAIREC.WDO (numbers " +
            std::to_string(b.mouvements.front().numero) + " to " +
            std::to_string(b.mouvements.back().numero) + "):");
    s.ligne(marge + "  " + colonne("reference", 15) + colonne("article", 33) +
            a_droite("quantity", 8) + "   stock before →   after");
    for (const MouvementVu& m : b.mouvements) {
      const std::string reference = m.article ? m.reference : m.code;
      std::string ligne = marge + "  " + colonne(reference, 15) + colonne(m.designation, 33) +
                          a_droite(signe(m.quantite), 8) + "   ";
      if (m.article == 0) {
        ligne += "(another file) now " + format_deux_decimales(m.stock_apres, '.');
      } else {
        ligne += a_droite(m.stock_avant ? format_deux_decimales(*m.stock_avant, '.') : "?", 12) +
                 " → " + a_droite(format_deux_decimales(m.stock_apres, '.'), 7);
      }
      s.ligne(ligne);
    }
  }
  if (b.erreurs.empty()) {
    s.ligne(marge + "No unknown reference.");
  } else {
    s.ligne(marge + "Unknown references, from the day's error file " +
            e.fichier_erreurs.substr(e.fichier_erreurs.find_last_of("\\/") + 1) + ":");
    for (const std::string& x : b.erreurs) s.ligne(marge + "  " + en_utf8(x));
  }
  s.ligne(marge + "Export collected: " + b.export_nom + ", " + std::to_string(b.export_lignes) +
          " lines (one per article taking part), moved to " + recus);
  if (b.anomalies.empty()) {
    s.ligne(marge +
            "Check: every movement sent was recorded once; stocks and export agree with it.");
  } else {
    s.ligne(marge + "CHECK FAILED:");
    for (const std::string& a : b.anomalies) s.ligne(marge + "  " + en_utf8(a));
  }
}

// A delivery of `records` lines for the benchmarks: references drawn from
// the whole register, deliveries and sales.
int ecrit_mouvements(const Boutique& b, const std::string& fichier, long records, unsigned graine) {
  std::vector<ArticleConnu> catalogue;
  Resultat r = lit_catalogue(b, catalogue);
  if (!r) return erreur_usage(r.raison());
  if (catalogue.empty()) return erreur_usage("no article of the register can be sent");
  std::mt19937 tirage(graine);
  std::string texte;
  for (long i = 0; i < records; ++i) {
    const ArticleConnu& a = catalogue[tirage() % catalogue.size()];
    texte += a.reference + "\t" + std::to_string(static_cast<int>(tirage() % 15) - 5) + "\n";
  }
  std::ofstream f(fichier, std::ios::binary | std::ios::trunc);
  f.write(texte.data(), static_cast<std::streamsize>(texte.size()));
  f.close();
  if (!f) return erreur_usage("cannot write " + fichier);
  std::printf("%s: %ld records for %zu articles.\n", fichier.c_str(), records, catalogue.size());
  return 0;
}

// The command line.
struct Options {
  std::string dossier_boutique, recus, journal, fichier_mouvements;
  long echanges = 0, records = -1, attente_max = 0;
  int connues = 12;
  unsigned graine = static_cast<unsigned>(std::random_device{}());
};

// Reads the command line into `o`; the exit status when the program stops
// here (help asked for, wrong use).
std::optional<int> lit_options(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(aide, stdout);
      return 0;
    }
    if (!a.starts_with("--")) return erreur_usage("unexpected argument " + std::string(a));
    if (i + 1 >= argc) return erreur_usage("missing value after " + std::string(a));
    const std::string_view v = argv[++i];
    bool ok = true;
    if (a == "--boutique")
      o.dossier_boutique = v;
    else if (a == "--recus")
      o.recus = v;
    else if (a == "--journal")
      o.journal = v;
    else if (a == "--ecrit-mouvements")
      o.fichier_mouvements = v;
    else if (a == "--echanges")
      ok = lit_valeur(v, o.echanges) && o.echanges >= 0;
    else if (a == "--records")
      ok = lit_valeur(v, o.records) && o.records >= 0;
    else if (a == "--connues")
      ok = lit_valeur(v, o.connues) && o.connues >= 0 && o.connues <= 1000;
    else if (a == "--graine")
      ok = lit_valeur(v, o.graine);
    else if (a == "--attente-max")
      ok = lit_valeur(v, o.attente_max) && o.attente_max >= 0;
    else
      return erreur_usage("unknown option " + std::string(a));
    if (!ok) return erreur_usage("wrong value for " + std::string(a) + ": " + std::string(v));
  }
  if (o.dossier_boutique.empty()) return erreur_usage("--boutique is missing");
  return std::nullopt;
}

// One delivery's wait: when the next exchange is expected (none before the
// first one) and whether a late exchange has been reported.
struct Rythme {
  std::optional<Montre::time_point> prochain;
  bool signale_retard = false;
};

// Waits until an exchange takes `envoi` and writes its export, collecting
// every export on the way: `nom_export` and `contenu` are then the export
// that exchange wrote. The exit status when the server must stop instead.
std::optional<int> attend_export(Sortie& sortie, const Boutique& boutique, const Envoi& envoi,
                                 const Options& o, const Horloge& horloge, Rythme& rythme,
                                 std::string& nom_export, std::string& contenu) {
  const auto debut = Montre::now();
  auto derniere_ligne = Montre::now();
  std::optional<Montre::time_point> pris_a;
  for (;;) {
    if (interrompu) {
      sortie.efface_attente();
      return 130;
    }
    // The export folder is read before the import folder: an export seen
    // while the file still waits was written before Pontex took it.
    const std::vector<std::string> exports = exports_en_attente(boutique);
    const bool pris = envoi_pris(boutique, envoi);
    if (pris && !pris_a) pris_a = Montre::now();
    for (std::size_t i = 0; i < exports.size(); ++i) {
      std::string c;
      if (Resultat r = collecte_export(boutique, exports[i], o.recus, c); !r) {
        sortie.ligne("Server: cannot collect " + exports[i] + ": " + r.raison());
        continue;
      }
      if (pris && i + 1 == exports.size()) {
        nom_export = exports[i];
        contenu = std::move(c);
      } else {
        sortie.ligne("[" + heure(horloge.maintenant()) + "] Server: collected " + exports[i] +
                     ", written by an exchange that did not take " + envoi.nom +
                     " (it waits for the next one).");
      }
    }
    if (!nom_export.empty()) return std::nullopt;

    const auto maintenant = Montre::now();
    const auto attendu = std::chrono::duration_cast<std::chrono::seconds>(maintenant - debut);
    if (o.attente_max > 0 && attendu.count() > o.attente_max) {
      sortie.ligne("Server: no exchange took " + envoi.nom + " within " +
                   std::to_string(o.attente_max) + " s.");
      return 3;
    }
    if (pris_a && maintenant - *pris_a > std::chrono::seconds(60)) {
      sortie.ligne("Server: Pontex took " + envoi.nom + " but wrote no export within a minute.");
      return 1;
    }
    const long depuis =
        std::chrono::duration_cast<std::chrono::seconds>(maintenant - derniere_ligne).count();
    if (rythme.prochain && !pris) {
      const long reste =
          std::chrono::duration_cast<std::chrono::seconds>(*rythme.prochain - maintenant).count();
      if (reste >= 0) {
        sortie.attente("           Next exchange in about " + duree(reste) + ".", depuis);
      } else if (reste < -30 && !rythme.signale_retard) {
        sortie.ligne("           Pontex has not taken the file yet: is it still running?");
        rythme.signale_retard = true;
      }
    } else if (!rythme.prochain && !pris && attendu.count() > 30 && !rythme.signale_retard) {
      sortie.ligne("           Still waiting for Pontex's exchange: is Pontex running?");
      rythme.signale_retard = true;
    }
    if (depuis >= 30) derniere_ligne = maintenant;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

// When the next exchange should come, in local time.
void annonce_prochain(Sortie& sortie, const Boutique& boutique, std::chrono::seconds periode) {
  const auto t = std::chrono::system_clock::now() + periode;
  const std::time_t tt = std::chrono::system_clock::to_time_t(t);
  std::tm local{};
  ::localtime_r(&tt, &local);
  const DateHeure alors{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                        local.tm_hour,        local.tm_min,     local.tm_sec};
  sortie.ligne("           Next exchange in about " + duree(static_cast<long>(periode.count())) +
               ", around " + heure(alors) + " (Pontex restarts after " +
               format_general(boutique.delai_minutes, '.') + " minutes).");
  sortie.ligne("");
}

// Delivers a file, waits for the exchange that takes it, tells what it did,
// and again, `o.echanges` times or until interrupted. The exit status.
int sert(Sortie& sortie, const Boutique& boutique, const Options& o) {
  const HorlogeSysteme horloge;
  std::mt19937 tirage(o.graine);
  // From the end of an exchange to the next one: the restart delay, the
  // relauncher's two seconds, Pontex's start and its five-second countdown.
  const auto periode = std::chrono::seconds(static_cast<long>(boutique.delai_minutes * 60) + 8);
  Rythme rythme;
  int statut = 0;

  const long premier = o.journal.empty() ? 1 : dernier_echange(o.journal) + 1;
  for (long fait = 0, numero = premier; o.echanges == 0 || fait < o.echanges; ++fait, ++numero) {
    std::vector<ArticleConnu> catalogue;
    if (Resultat r = lit_catalogue(boutique, catalogue); !r) return erreur_usage(r.raison());
    const std::set<std::string> en_attente = references_en_attente(boutique);
    std::erase_if(catalogue,
                  [&](const ArticleConnu& a) { return en_attente.contains(a.reference); });
    if (catalogue.empty()) return erreur_usage("no article of the register can be sent");

    Envoi envoi = prepare_envoi(boutique, catalogue, tirage, o.connues);
    if (Resultat r = depose_envoi(boutique, envoi, horloge.maintenant()); !r) {
      sortie.ligne("Server: cannot deliver a file: " + r.raison());
      return 2;
    }
    raconte_livraison(sortie, envoi, horloge.maintenant());
    const std::set<std::string> avant_echange = fichiers_en_attente(boutique);
    if (!rythme.prochain) sortie.ligne("           Pontex takes it at its next exchange.");

    std::string contenu, nom_export;
    if (std::optional<int> fin =
            attend_export(sortie, boutique, envoi, o, horloge, rythme, nom_export, contenu)) {
      return *fin;
    }

    const DateHeure quand = horloge.maintenant();
    const Bilan bilan = fait_bilan(boutique, envoi, nom_export, contenu, quand);
    std::vector<std::string> autres;
    const std::set<std::string> restent = fichiers_en_attente(boutique);
    for (const std::string& nom : avant_echange) {
      if (nom != envoi.nom && !restent.contains(nom)) autres.push_back(nom);
    }
    raconte_echange(sortie, numero, envoi, autres, bilan, o.recus, quand);
    if (!bilan.anomalies.empty()) statut = 1;
    rythme.prochain = Montre::now() + periode;
    rythme.signale_retard = false;
    if (o.echanges == 0 || fait + 1 < o.echanges) annonce_prochain(sortie, boutique, periode);
  }
  return statut;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (std::optional<int> fin = lit_options(argc, argv, o)) return *fin;

  Boutique boutique;
  if (Resultat r = lit_boutique(o.dossier_boutique, boutique); !r) return erreur_usage(r.raison());

  if (!o.fichier_mouvements.empty()) {
    if (o.records < 0) return erreur_usage("--records is missing");
    return ecrit_mouvements(boutique, o.fichier_mouvements, o.records, o.graine);
  }
  if (o.recus.empty()) return erreur_usage("--recus is missing");

  std::signal(SIGINT, sur_signal);
  std::signal(SIGTERM, sur_signal);

  Sortie sortie(o.journal);
  std::vector<std::string> en_attente;
  // Unreadable, the folder counts as empty: the account below says so.
  (void)liste_fichiers(boutique.transit + "import", "*.txt", en_attente);
  for (const std::string& nom : en_attente) {
    sortie.ligne("Server: " + en_utf8(nom) +
                 " still waits in the import folder; Pontex takes it at the same exchange.");
  }
  return sert(sortie, boutique, o);
}
