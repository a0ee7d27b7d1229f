#pragma once
// Reads the working file as a stream of lines, block by block from a given
// byte position, so that memory stays bounded whatever the server sent and
// the analysis knows where each record starts and where the next one does:
// that position is what a resumed run starts from.
//
// The server may write its files in Windows-1252, as the register does, or
// in UTF-8. Which one is decided once for the whole file when it is opened,
// as for "Pontex.wdo": valid UTF-8 holding a non-ASCII character is UTF-8,
// anything else Windows-1252. A resumed run opens the same file and so
// decides the same. The lines come out in Windows-1252 either way.

#include <cstdint>
#include <string>
#include <string_view>

#include "pontex/shared/encodage.h"
#include "pontex/shared/fichier_records.h"
#include "pontex/shared/octets.h"
#include "pontex/shared/resultat.h"

namespace pontex {

struct LigneAnalyse {
  enum class Sorte {
    record,       // a whole record, its line end left out
    incomplete,   // the file ends without a line end: maybe cut short
    trop_longue,  // longer than LecteurAnalyse::longueur_max: not a record
  };
  Sorte sorte = Sorte::record;
  // The record; for the two others, the line's first 100 bytes. In
  // Windows-1252 (converted when the file is UTF-8).
  std::string_view texte;
  // Position in `texte` of the first character that Windows-1252 cannot
  // hold, written "?" there; npos when there is none.
  std::size_t remplace = std::string_view::npos;
  std::int64_t debut = 0;     // byte position of the line
  std::int64_t suivante = 0;  // byte position right after its line end
};

// What one pass over the working file tells: its size and digest, which
// name it in the progress file and the record of applied files, and its
// encoding. Filled by the copy out of the import folder, or by lit_apercu
// for a working file an earlier process left.
class ApercuAnalyse {
 public:
  void ajoute(std::string_view bloc);
  std::uint64_t taille() const { return taille_; }
  std::uint64_t empreinte() const { return empreinte_; }
  bool utf8() const { return detection_.utf8_etendu(); }
  // The file starts with a UTF-8 byte order mark.
  bool marque() const { return marque_; }

 private:
  std::uint64_t taille_ = 0;
  std::uint64_t empreinte_ = pontex::empreinte({});
  DetectionUtf8 detection_;
  std::string debut_;  // the first bytes, until the mark can be told
  bool marque_ = false;
};

// Reads the working file `chemin` through once.
Resultat lit_apercu(std::string_view chemin, ApercuAnalyse& apercu);

class LecteurAnalyse {
 public:
  // Bytes read per system call, and the longest line kept as a record (the
  // server's records are a reference, a TAB and a number: far shorter).
  static constexpr std::size_t taille_bloc = 64 * 1024;
  static constexpr std::size_t longueur_max = 64 * 1024;
  static constexpr std::size_t debut_montre = 100;

  // Opens `chemin` for reading from byte `depuis` (a position given by
  // LigneAnalyse::suivante or debut), after reading it through once (up to
  // the bound of a received file) to tell its encoding. A UTF-8 byte order
  // mark at its start is no part of the first record.
  Resultat ouvre(std::string_view chemin, std::int64_t depuis);
  // The same when the file was already read through (`apercu`): it is not
  // read a second time to tell its encoding.
  Resultat ouvre(std::string_view chemin, std::int64_t depuis, const ApercuAnalyse& apercu);
  bool utf8() const { return utf8_; }

  // The next line. A line ends at LF, CR LF or a lone CR. False at the end
  // of the file, or when it could not be read (then en_echec()). The text
  // stays valid until the next call.
  bool suivante(LigneAnalyse& ligne);
  bool en_echec() const { return echec_; }
  // Lets the working file go: Windows removes or renames no file held open.
  void ferme() { fichier_.ferme(); }

 private:
  bool remplit();
  void convertit(LigneAnalyse& ligne);

  FichierRecords fichier_;
  std::string tampon_;
  std::int64_t origine_ = 0;  // file position of tampon_[0]
  std::size_t debut_ = 0;     // start of the current line in tampon_
  std::size_t cherche_ = 0;   // where the search for its end goes on
  bool fin_ = false;          // the file has no more bytes
  bool termine_ = false;      // everything returned
  bool echec_ = false;
  bool utf8_ = false;
  std::string converti_;  // the current line in Windows-1252, for a UTF-8 file
  // A line beyond longueur_max: its first bytes and where it began; the rest
  // is read past without being kept.
  bool saute_ = false;
  std::string debut_long_;
  std::int64_t position_longue_ = 0;
};

}  // namespace pontex
