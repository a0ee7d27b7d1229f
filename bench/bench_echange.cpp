// The exchange on a large shop: a movement file of 100,000 records applied
// to a register of 32,767 articles whose index holds 30,000 sorted keys and
// 2,767 unsorted ones (articles created since the cash register last sorted
// it), then the stock export of that register.
//
// Reported: records applied per second with the journal kept as the main
// window keeps it (stamped lines in its compact line store), record reads
// and writes per applied record (the index is reopened for every lookup and
// nothing is kept between lookups), and the time of one export.
//
// With PONTEX_PLANCHER naming the system-call floor program (bench/plancher,
// making exactly the file operations the exchange requires), the
// same movement file is also applied by that program to the same register,
// turn about with Pontex in the same run, and the ratio of the two apply
// times is reported: the machine is too noisy for absolute times alone.
// Target: Pontex within 1.3 times the floor. The application is also
// measured with every journal line going to the day's journal file too
// (target: at most 3 % fewer records per second).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "pontex/data/valeurs.h"
#include "pontex/exchange/echange.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/horloge.h"
#include "pontex/shared/journal_fichier.h"
#include "pontex/shared/lignes_journal.h"
#include "tools/fabrique_caisse.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int32_t articles = 32767;
constexpr std::int32_t queue = 2767;
constexpr int records = 100000;

// The window as far as the exchange sees it: the journal stamped and kept
// in the window's line store, no file list to show. With a journal file,
// every line also goes to the day's file as the main window sends it:
// batched, written when a batch is full and at the end of the exchange.
class Puits : public pontex::FenetreEchange {
 public:
  explicit Puits(const pontex::Horloge& h, bool fichier = false) : horloge(h), fichier_(fichier) {}
  using pontex::FenetreEchange::ajoute_journal;
  void ajoute_journal(std::string_view message, pontex::SorteLigne sorte) override {
    // Each applied record journals one line right after its article is
    // written: the first and last lines bound the apply phase.
    const auto maintenant = std::chrono::steady_clock::now();
    if (journal.taille() == 0) premiere_ligne = maintenant;
    derniere_ligne = maintenant;
    journal.ajoute(pontex::format_horodatage_journal(horloge.maintenant()), message, sorte);
    if (!fichier_) return;
    journal_fichier.ajoute(horloge.maintenant(), message);
    if (journal_fichier.octets_en_attente() >= pontex::JournalFichier::taille_lot) {
      (void)journal_fichier.ecrit_en_attente();  // a failed batch is kept and tried again
    }
  }
  std::vector<std::string> noms_File1() override { return {}; }
  void rafraichit_File1() override {}
  std::vector<std::string> noms_File2() override { return {}; }
  void rafraichit_File2() override {}
  void remplit_List2(const std::vector<std::string>&) override {}
  void traite_evenements() override {}
  const pontex::Horloge& horloge;
  pontex::LignesJournal journal;
  std::chrono::steady_clock::time_point premiere_ligne, derniere_ligne;
  pontex::JournalFichier journal_fichier;

 private:
  bool fichier_;
};

struct Boutique {
  fs::path chemin;
  fs::path precedent;
  pontex::HorlogeFixe horloge{pontex::DateHeure{2026, 12, 5, 21, 7, 9}};
  pontex::ValeursProgramme valeurs{horloge, ','};
  std::string mouvements;               // the server's file
  std::vector<std::string> references;  // its references, in order
  std::int64_t en_queue = 0;

  Boutique() {
    chemin = fs::temp_directory_path() /
             ("pontex-bench-echange-" + std::to_string(std::random_device{}()));
    fs::create_directories(chemin / "transit" / "export" / "histo");
    fs::create_directories(chemin / "transit" / "import");
    precedent = fs::current_path();
    fs::current_path(chemin);  // the working file goes to the current folder
    const std::string racine = chemin.string() + "\\";

    pontex::fabrique::ParametresCaisse p;
    p.nombre_articles = articles;
    p.indexe_references = false;  // one key per article, its code
    p.entrees_queue = queue;
    p.part_exclus = 0;
    p.part_hors_echange = 0;
    pontex::fabrique::ContenuCaisse c;
    if (!pontex::fabrique::fabrique_caisse(racine + "caisse\\", p, &c)) std::abort();
    if (c.entrees_triees != articles - queue) std::abort();

    valeurs.config.transit = racine + "transit\\";
    valeurs.config.ficbase = racine + "caisse\\";
    valeurs.config.refarti = 0;
    valeurs.config.nom_sto = "stock_";
    valeurs.config.numpost = "2";
    valeurs.config.utilisa = "1";
    valeurs.caisse.met_dossier(valeurs.config.ficbase);

    // Articles drawn evenly over the register, quantities with decimals
    // both ways, lines ending as the server's Windows side writes them.
    std::mt19937 g(7);
    for (int i = 0; i < records; ++i) {
      const auto& e = c.index[g() % c.index.size()];
      if (&e - c.index.data() >= c.entrees_triees) ++en_queue;
      std::string ref = e.cle.substr(1);
      ref.erase(ref.find_last_not_of(' ') + 1);
      references.push_back(ref);
      mouvements += ref + "\t" + std::to_string(static_cast<int>(g() % 9) - 4) + ".5\r\n";
    }
  }
  ~Boutique() {
    std::error_code ec;
    fs::current_path(precedent, ec);
    fs::remove_all(chemin, ec);
  }
};

Boutique& boutique() {
  static Boutique b;
  return b;
}

// state.range(0): 1 when the journal also goes to its day file.
void BM_ApplicationMouvements(benchmark::State& state) {
  Boutique& b = boutique();
  const bool fichier = state.range(0) != 0;
  std::uint64_t lectures = 0, ecritures = 0, appliques = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Puits puits(b.horloge, fichier);
    std::error_code ec;
    fs::remove_all("journal", ec);
    if (!pontex::ecrit_texte("prov_stk_ana_ron.txt", b.mouvements)) std::abort();
    const pontex::CompteursES avant = pontex::compteurs_es();
    state.ResumeTiming();

    pontex::applique_analyse(b.valeurs, puits);
    if (fichier && !puits.journal_fichier.ecrit_en_attente()) {
      state.SkipWithError("the journal file could not be written");
      break;
    }

    state.PauseTiming();
    lectures += pontex::compteurs_es().lectures - avant.lectures;
    ecritures += pontex::compteurs_es().ecritures - avant.ecritures;
    if (puits.journal.taille() != static_cast<std::size_t>(records)) {
      state.SkipWithError("some records were not applied");
      break;
    }
    appliques += records;
    state.ResumeTiming();
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(appliques), benchmark::Counter::kIsRate);
  state.counters["lectures/record"] =
      static_cast<double>(lectures) / static_cast<double>(appliques);
  state.counters["ecritures/record"] =
      static_cast<double>(ecritures) / static_cast<double>(appliques);
  state.counters["part en queue"] = static_cast<double>(b.en_queue) / records;
}

// The journal file alone: the lines of one application (quantity and
// designation, as the movements journal them) through the batches to the
// day's file. Its time against the application's is the share the journal
// file costs, steadier than two rates measured on a busy machine.
void BM_JournalFichierSeul(benchmark::State& state) {
  Boutique& b = boutique();
  const std::string ligne = "-3,50 x TARTE AUX POMMES 6 PARTS   ";
  for (auto _ : state) {
    state.PauseTiming();
    std::error_code ec;
    fs::remove_all("journal", ec);
    pontex::JournalFichier j;
    state.ResumeTiming();
    for (int i = 0; i < records; ++i) {
      j.ajoute(b.horloge.maintenant(), ligne);
      if (j.octets_en_attente() >= pontex::JournalFichier::taille_lot) j.ecrit_en_attente();
    }
    if (!j.ecrit_en_attente()) {
      state.SkipWithError("the journal file could not be written");
      break;
    }
  }
  state.counters["lignes/s"] =
      benchmark::Counter(static_cast<double>(records) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

// The lookups alone, for the same references in the same order: the share of
// the application that the index costs.
void BM_RecherchesSeules(benchmark::State& state) {
  Boutique& b = boutique();
  std::uint64_t lectures = 0, faites = 0;
  for (auto _ : state) {
    const std::uint64_t avant = pontex::compteurs_es().lectures;
    for (const std::string& r : b.references) {
      if (b.valeurs.caisse.cherche_article(r).article < 1) {
        state.SkipWithError("reference not found");
        return;
      }
    }
    lectures += pontex::compteurs_es().lectures - avant;
    faites += b.references.size();
  }
  state.counters["recherches/s"] =
      benchmark::Counter(static_cast<double>(faites), benchmark::Counter::kIsRate);
  state.counters["lectures/recherche"] =
      static_cast<double>(lectures) / static_cast<double>(faites);
}

void BM_ExportStock(benchmark::State& state) {
  Boutique& b = boutique();
  Puits puits(b.horloge);
  std::uint64_t lectures = 0;
  for (auto _ : state) {
    const std::uint64_t avant = pontex::compteurs_es().lectures;
    pontex::genere_sorties(b.valeurs, puits);
    lectures += pontex::compteurs_es().lectures - avant;
  }
  const fs::path fichier = b.chemin / "transit" / "export" / "stock_20261205210709.txt";
  std::error_code ec;
  state.counters["octets"] = static_cast<double>(fs::file_size(fichier, ec));
  state.counters["lectures"] =
      benchmark::Counter(static_cast<double>(lectures), benchmark::Counter::kAvgIterations);
}

#ifndef _WIN32
// The floor's apply time in seconds on the shop's register and the same
// movement file, as the floor measures it (first to last record, the file
// already read); negative when it did not run or said nothing readable.
double temps_plancher(const Boutique& b, const std::string& plancher) {
  const fs::path fichier = b.chemin / "plancher.txt";
  if (!fs::exists(fichier) && !pontex::ecrit_texte(fichier.string(), b.mouvements)) return -1;
  // The floor reads the unsorted tail in blocks of entries, as Pontex does.
  const std::string commande = "FLOOR_CHUNK=1 '" + plancher + "' apply '" +
                               (b.chemin / "caisse").string() + "' '" + fichier.string() + "' '" +
                               (b.chemin / "plancher.err").string() + "'";
  FILE* sortie = popen(commande.c_str(), "r");
  if (sortie == nullptr) return -1;
  long appliques = 0, inconnus = 0;
  double secondes = -1;
  const int lus = std::fscanf(sortie, "floor apply: %ld applied, %ld unknown, %lf s", &appliques,
                              &inconnus, &secondes);
  if (pclose(sortie) != 0 || lus != 3 || appliques != records) return -1;
  return secondes;
}

// Pontex and the floor on the same register and file, turn about, so that
// both see the same load of the machine.
void BM_PontexContrePlancher(benchmark::State& state, const std::string& plancher) {
  Boutique& b = boutique();
  double pontex_s = 0, phase_s = 0, plancher_s = 0;
  // One ratio per turn, of two runs back to back: a turn the machine
  // slowed down for one of the two moves the median little.
  std::vector<double> rapports, rapports_fichier;
  int tour = 0;
  for (auto _ : state) {
    double tour_pontex = 0, tour_phase = 0, tour_plancher = 0;
    for (int etape = 0; etape < 2; ++etape) {
      if ((etape + tour) % 2 == 0) {
        Puits puits(b.horloge);
        if (!pontex::ecrit_texte("prov_stk_ana_ron.txt", b.mouvements)) std::abort();
        const auto debut = std::chrono::steady_clock::now();
        pontex::applique_analyse(b.valeurs, puits);
        tour_pontex =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count();
        tour_phase =
            std::chrono::duration<double>(puits.derniere_ligne - puits.premiere_ligne).count();
        if (puits.journal.taille() != static_cast<std::size_t>(records)) {
          state.SkipWithError("some records were not applied");
          return;
        }
      } else {
        const double t = temps_plancher(b, plancher);
        if (t <= 0) {
          state.SkipWithError("the floor program did not run");
          return;
        }
        tour_plancher = t;
      }
    }
    pontex_s += tour_pontex;
    phase_s += tour_phase;
    plancher_s += tour_plancher;
    rapports.push_back(tour_phase / tour_plancher);
    rapports_fichier.push_back(tour_pontex / tour_plancher);
    ++tour;
  }
  const auto mediane = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
  };
  const double n = static_cast<double>(tour) * records;
  // The floor times its apply phase, first to last record; so does
  // "rapport", the median of the turns' ratios. "rapport_fichier" takes
  // Pontex's whole file instead: the check of the working file before, and
  // after the last record the check of its movements against the till's and
  // the flush to the disk.
  state.counters["pontex_records/s"] = n / phase_s;
  state.counters["plancher_records/s"] = n / plancher_s;
  state.counters["rapport"] = mediane(rapports);
  state.counters["rapport_fichier"] = mediane(rapports_fichier);
}

// The floor's export of the same register (reference mode 0, as the
// shop's configuration here), in seconds as it measures itself.
double export_plancher(const Boutique& b, const std::string& plancher) {
  const std::string commande = "'" + plancher + "' export '" + (b.chemin / "caisse").string() +
                               "' '" + (b.chemin / "plancher_export.txt").string() + "' 0";
  FILE* sortie = popen(commande.c_str(), "r");
  if (sortie == nullptr) return -1;
  long listes = 0, n = 0;
  double ms = -1;
  const int lus = std::fscanf(sortie, "floor export: %ld of %ld listed, %lf ms", &listes, &n, &ms);
  if (pclose(sortie) != 0 || lus != 3) return -1;
  return ms / 1000;
}

void BM_ExportContrePlancher(benchmark::State& state, const std::string& plancher) {
  Boutique& b = boutique();
  double pontex_s = 0, plancher_s = 0;
  for (auto _ : state) {
    Puits puits(b.horloge);
    const auto debut = std::chrono::steady_clock::now();
    pontex::genere_sorties(b.valeurs, puits);
    pontex_s += std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count();
    const double t = export_plancher(b, plancher);
    if (t <= 0) {
      state.SkipWithError("the floor program did not run");
      return;
    }
    plancher_s += t;
  }
  state.counters["pontex_ms"] = pontex_s * 1000 / static_cast<double>(state.iterations());
  state.counters["plancher_ms"] = plancher_s * 1000 / static_cast<double>(state.iterations());
  state.counters["rapport"] = pontex_s / plancher_s;
}
#endif

BENCHMARK(BM_ApplicationMouvements)
    ->ArgName("journal_fichier")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_JournalFichierSeul)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_RecherchesSeules)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ExportStock)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  if (const char* plancher = std::getenv("PONTEX_PLANCHER"); plancher && *plancher) {
    benchmark::RegisterBenchmark("BM_PontexContrePlancher", BM_PontexContrePlancher,
                                 std::string(plancher))
        ->Unit(benchmark::kMillisecond)
        ->Iterations(7)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_ExportContrePlancher", BM_ExportContrePlancher,
                                 std::string(plancher))
        ->Unit(benchmark::kMillisecond)
        ->Iterations(20)
        ->UseRealTime();
  }
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
