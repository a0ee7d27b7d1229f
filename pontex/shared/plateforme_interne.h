#pragma once
// Pieces of the platform layer shared by its Linux and Windows halves. Not
// part of the layer's interface: only the platform files include this.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pontex/shared/fichiers.h"

namespace pontex::interne {

// True when a test made `operation` on `chemin` fail (see
// installe_crochet_echec). Every file operation asks this first, a few
// dozen times per record applied: without a hook it costs one test.
extern bool crochet_installe;
bool appelle_crochet(Operation operation, std::string_view chemin);
inline bool echec_injecte(Operation operation, std::string_view chemin) {
  return crochet_installe && appelle_crochet(operation, chemin);
}

// Writes all `n` bytes, in as many calls as the system takes; false on a
// failure, whose system error is left for the caller's message. `fichier` is
// a file descriptor on Linux, a HANDLE on Windows.
#ifdef _WIN32
bool ecrit_tout(void* fichier, const char* p, std::size_t n);
#else
bool ecrit_tout(int fichier, const char* p, std::size_t n);
#endif

// Windows-1252 case folding to lower case: ASCII letters, the accented
// Latin-1 letters (À..Þ except ×) and the four letter pairs of the 0x80..0x9F
// block (Š, Œ, Ž, Ÿ). This is how the shop's file system compares names.
constexpr unsigned char plie_casse(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 0x20);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 0x20);
  switch (c) {
    case 0x8A:
      return 0x9A;  // Š
    case 0x8C:
      return 0x9C;  // Œ
    case 0x8E:
      return 0x9E;  // Ž
    case 0x9F:
      return 0xFF;  // Ÿ
    default:
      return c;
  }
}

bool egal_sans_casse(std::string_view a, std::string_view b);

// Order of a file list box: by name ignoring case, then by the exact bytes so
// that two names differing only by case always come out in the same order.
bool avant_dans_liste(std::string_view a, std::string_view b);

// A Linux name can hold bytes that are not UTF-8 (a file copied from an old
// system, a server in another locale) or characters that Windows-1252 has no
// byte for. Such a name is handed to the program with those bytes written
// "\xhh" (two lower-case hex digits), and a backslash of the name itself as
// "\x5c", so every name of a folder has one program form and back. The byte
// an escape at `nom[i]` stands for, or -1 when there is none there: only the
// escapes the listing writes (0x5c and 0x80..0xff) count, so an escape can
// never stand for a "/" or a NUL.
constexpr int octet_echappe(std::string_view nom, std::size_t i) {
  if (i + 4 > nom.size() || nom[i] != '\\' || nom[i + 1] != 'x') return -1;
  int v = 0;
  for (std::size_t k = i + 2; k < i + 4; ++k) {
    const char c = nom[k];
    if (c >= '0' && c <= '9')
      v = v * 16 + (c - '0');
    else if (c >= 'a' && c <= 'f')
      v = v * 16 + (c - 'a' + 10);
    else
      return -1;
  }
  return v == 0x5c || v >= 0x80 ? v : -1;
}

// Whether a Windows entry sends its name elsewhere, from its attributes and
// its reparse tag. Windows marks an entry a reparse point for many reasons:
// a symbolic link, a junction or a mount point redirect the name, but a
// file or folder of a cloud-synced folder, a deduplicated volume's file or
// an app alias carry a reparse point too and are what they say. Only tags
// with the name-surrogate bit (IsReparseTagNameSurrogate) redirect; the tag
// means nothing without the reparse-point attribute. Written here, without
// the system's headers, so that the rule is checked on every system.
inline constexpr std::uint32_t attribut_point_analyse = 0x400;  // FILE_ATTRIBUTE_REPARSE_POINT
inline constexpr std::uint32_t bit_substitut_nom = 0x20000000;  // IsReparseTagNameSurrogate
constexpr bool redirige_nom(std::uint32_t attributs, std::uint32_t etiquette) {
  return (attributs & attribut_point_analyse) != 0 && (etiquette & bit_substitut_nom) != 0;
}

// True when the name holds a wildcard ('*' or '?').
bool est_motif(std::string_view nom);

// Both '\' and '/' separate folders: the configuration writes '\', a Linux
// home folder comes with '/'.
constexpr bool est_separateur(char c) { return c == '\\' || c == '/'; }

// "C:\a\b\*.txt" -> dossier "C:\a\b", nom "*.txt"; "x.txt" -> "", "x.txt";
// "\x" -> "\", "x"; "a\" -> "a", "". The folder part keeps its form and is
// resolved by the caller.
struct CheminDecoupe {
  std::string dossier;
  std::string nom;
};
CheminDecoupe decoupe_chemin(std::string_view chemin);

}  // namespace pontex::interne
