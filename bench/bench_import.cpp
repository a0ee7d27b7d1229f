// A server that left 10,000 one-line movement files in the import folder
// (a shop whose Pontex was off for a long weekend). Each exchange reads the
// folder once, takes its share of the files, then writes the export; the
// exchanges follow one another until the folder is empty.
//
// Reported: the time from the start of the first exchange to its export
// written, the files that exchange took, the exchanges needed, and the
// time per file over all of them (flat when the time is linear in the
// number of files). Every file costs a few flushes to the disk (the removal
// from the import folder, the progress record, the register, the record
// of applied files), so the figures depend on the disk most of all.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "pontex/data/valeurs.h"
#include "pontex/exchange/echange.h"
#include "pontex/shared/horloge.h"
#include "tools/fabrique_caisse.h"

namespace {

namespace fs = std::filesystem;

constexpr int fichiers = 10000;

class Puits : public pontex::FenetreEchange {
 public:
  using pontex::FenetreEchange::ajoute_journal;
  void ajoute_journal(std::string_view, pontex::SorteLigne) override { ++lignes; }
  std::vector<std::string> noms_File1() override { return {}; }
  void rafraichit_File1() override {}
  std::vector<std::string> noms_File2() override { return {}; }
  void rafraichit_File2() override {}
  void remplit_List2(const std::vector<std::string>&) override {}
  void traite_evenements() override {}
  long lignes = 0;
};

// One date for the files' names, but time that passes: the import's bound
// on its duration is part of what is measured.
class DateFixe : public pontex::Horloge {
 public:
  pontex::DateHeure maintenant() const override { return {2026, 12, 5, 21, 7, 9}; }
};
void BM_DixMilleFichiers(benchmark::State& state) {
  for (auto _ : state) {
    const fs::path chemin = fs::temp_directory_path() /
                            ("pontex-bench-import-" + std::to_string(std::random_device{}()));
    fs::create_directories(chemin / "transit" / "export" / "histo");
    fs::create_directories(chemin / "transit" / "import");
    const fs::path precedent = fs::current_path();
    fs::current_path(chemin);
    const std::string racine = chemin.string() + "\\";

    pontex::fabrique::ParametresCaisse p;
    p.nombre_articles = 200;
    pontex::fabrique::ContenuCaisse c;
    if (!pontex::fabrique::fabrique_caisse(racine + "caisse\\", p, &c)) std::abort();
    pontex::HorlogeFixe horloge{pontex::DateHeure{2026, 12, 5, 21, 7, 9}};
    pontex::ValeursProgramme valeurs{horloge, ','};
    valeurs.config.transit = racine + "transit\\";
    valeurs.config.ficbase = racine + "caisse\\";
    valeurs.config.nom_sto = "stock_";
    valeurs.config.numpost = "2";
    valeurs.config.utilisa = "1";
    valeurs.caisse.met_dossier(valeurs.config.ficbase);

    const std::string reference = c.index.front().cle.substr(1);
    const auto ancien = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (int i = 0; i < fichiers; ++i) {
      char nom[32];
      std::snprintf(nom, sizeof nom, "m%05d.txt", i);
      const fs::path f = chemin / "transit" / "import" / nom;
      std::FILE* out = std::fopen(f.c_str(), "wb");
      if (out == nullptr) std::abort();
      std::fprintf(out, "%s\t1\n", reference.c_str());
      std::fclose(out);
      fs::last_write_time(f, ancien);
    }

    Puits fenetre;
    using horloge_t = std::chrono::steady_clock;
    const auto debut = horloge_t::now();
    double premier_export = 0;
    long pris_premier = 0;
    int echanges = 0;
    for (;;) {
      const long avant = fenetre.lignes;
      pontex::traite_import(valeurs, fenetre);
      pontex::genere_sorties(valeurs, fenetre);
      ++echanges;
      if (echanges == 1) {
        premier_export = std::chrono::duration<double>(horloge_t::now() - debut).count();
        pris_premier = (fenetre.lignes - avant - 2) / 2;  // two lines a file, two for the export
      }
      if (fenetre.lignes - avant <= 2) break;  // nothing taken: the folder is empty
    }
    const double total = std::chrono::duration<double>(horloge_t::now() - debut).count();
    state.SetIterationTime(total);
    state.counters["premier_export_s"] = premier_export;
    state.counters["pris_premier_echange"] = static_cast<double>(pris_premier);
    state.counters["echanges"] = echanges - 1;
    state.counters["ms_par_fichier"] = 1000.0 * total / fichiers;

    std::error_code ec;
    fs::current_path(precedent, ec);
    fs::remove_all(chemin, ec);
  }
}
BENCHMARK(BM_DixMilleFichiers)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
