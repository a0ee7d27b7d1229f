#pragma once
// What a start does with the working file "prov_stk_ana_ron.txt" and the
// progress file it finds beside it. Told apart from doing it, so that every
// case of a stop, a kill or a power cut can be looked at on its own: the
// start asks, does what it is told (reads the working file, asks the import
// folder), asks again, until the answer is to apply, to go on, to set aside
// or to leave everything as it is.

#include <cstdint>
#include <optional>

#include "pontex/exchange/reprise.h"

namespace pontex {

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

struct SituationDepart {
  Depart depart = Depart::bouton;
  LectureReprise lecture = LectureReprise::absente;
  // What the progress file noted, when it was read.
  EtatReprise::Attente attente = EtatReprise::Attente::rien;
  std::uint64_t taille_notee = 0, empreinte_notee = 0;
  bool present = false;  // the working file is there
  // What the import folder said of a file caught while being copied.
  std::optional<IssuePrise> prise;
  enum class Travail { non_lu, lu, illisible };
  Travail travail = Travail::non_lu;
  std::uint64_t taille = 0, empreinte = 0;  // the working file's, once read
};

enum class Decision {
  rien,                    // nothing left to apply
  note_finie,              // applied to its end before the stop: cleared, named as finished
  regle_prise,             // caught while being copied: the import folder tells what it was
  lit_travail,             // its size, digest and encoding are needed first
  attend,                  // everything left as it is for the next start
  met_de_cote_illisible,   // the progress file unreadable: both kept aside
  met_de_cote_sans_suivi,  // no progress file: it may be applied in part already
  applique,                // from its first record
  reprend,                 // the records under way settled, then on from there
  regle_puis_met_de_cote,  // the same settling, then kept aside: another file, or none
};

Decision decide_depart(const SituationDepart& s);

}  // namespace pontex
