// pontex-etat: is the shop's Pontex in step? Reads the status file that
// Pontex rewrites after every exchange, and at once when no exchange can
// run or it ends, and answers with one line and the exit status monitoring
// tools understand: 0 in step, 1 warning (errors in the last exchange, the
// next exchange overdue, or a reason why none runs now), 2 stopped (quit
// by a person, a restart impossible, no exchange for twice the period and
// more, or none ever), 3 unknown (a status file that cannot be read, or
// holds what Pontex never writes).
//
//   pontex-etat [FOLDER]     FOLDER: where Pontex runs (default: here)

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>

#include "pontex/exchange/etat_echange.h"
#include "pontex/shared/moment.h"
#include "pontex/shared/options.h"

namespace {

constexpr std::string_view aide =
    "Usage: pontex-etat [FOLDER]\n"
    "       pontex-etat --help | --version\n"
    "\n"
    "Tells whether the Pontex working in FOLDER (default: the current folder)\n"
    "is in step, from the status file pontex_etat.json that Pontex rewrites\n"
    "there after every exchange, and at once when no exchange can run or it\n"
    "ends. Prints one line and exits with:\n"
    "  0  OK: the last exchange had no error and the next one is not overdue\n"
    "  1  WARNING: errors or refusals in the last exchange, the next exchange\n"
    "     more than 2 minutes overdue, or no exchange can run now (folder lock\n"
    "     refused, transit folder missing, register data away, journal not\n"
    "     written, stopped by the system), with the reason\n"
    "  2  CRITICAL: stopped by the user, restart impossible, no exchange for\n"
    "     twice the period (#TIM_ANA#) and 5 minutes more, or no status file\n"
    "     (Pontex never finished an exchange there)\n"
    "  3  UNKNOWN: the status file cannot be read, or holds values Pontex never\n"
    "     writes (negative or impossible counts, a date ahead of the clock)\n";

// Bound of a status file: ours are a few hundred bytes.
constexpr std::uintmax_t taille_max = 64 * 1024;

// The file's text; nothing when there is no file; an empty text when it
// cannot be read.
std::optional<std::string> lit(const std::filesystem::path& chemin) {
  std::error_code ec;
  const auto statut = std::filesystem::status(chemin, ec);
  if (statut.type() == std::filesystem::file_type::not_found) return std::nullopt;
  if (ec || statut.type() != std::filesystem::file_type::regular) return std::string();
  const auto taille = std::filesystem::file_size(chemin, ec);
  if (ec || taille > taille_max) return std::string();
  std::ifstream f(chemin, std::ios::binary);
  if (!f) return std::string();
  std::string texte((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (f.bad()) return std::string();
  return texte;
}

}  // namespace

int main(int argc, char** argv) {
  if (const auto code = pontex::option_standard(argc, argv, "pontex-etat", aide)) return *code;
  if (argc > 2) {
    std::fputs("pontex-etat: one folder at most (pontex-etat --help)\n", stderr);
    std::puts("PONTEX UNKNOWN - wrong arguments");
    return 3;
  }
  const std::filesystem::path dossier = argc == 2 ? std::filesystem::path(argv[1]) : ".";
  const pontex::Verdict v = pontex::juge_etat(lit(dossier / std::string(pontex::nom_fichier_etat)),
                                              pontex::secondes_maintenant());
  std::puts(v.ligne.c_str());
  return v.code;
}
