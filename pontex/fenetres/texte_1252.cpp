#include "pontex/fenetres/texte_1252.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <QByteArray>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cstdint>
#include <cstring>
#endif

namespace pontex::fenetres {

#ifdef _WIN32

// Qt on Windows knows no code page by name (it is built without ICU there):
// the system's own tables do the work, with code page 1252 named outright so
// that the shop's "€" and accents read the same whatever the session's
// language.
constexpr UINT kCodePage1252 = 1252;

QString depuis_1252(std::string_view octets) {
  if (octets.empty()) return {};
  const int n = ::MultiByteToWideChar(kCodePage1252, 0, octets.data(),
                                      static_cast<int>(octets.size()), nullptr, 0);
  if (n <= 0) return QString::fromLatin1(octets.data(), qsizetype(octets.size()));
  std::wstring large(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(kCodePage1252, 0, octets.data(), static_cast<int>(octets.size()),
                        large.data(), n);
  return QString::fromStdWString(large);
}

std::string vers_1252(const QString& texte) {
  if (texte.isEmpty()) return {};
  const std::wstring large = texte.toStdWString();
  const int n = ::WideCharToMultiByte(kCodePage1252, WC_NO_BEST_FIT_CHARS, large.data(),
                                      static_cast<int>(large.size()), nullptr, 0, "?", nullptr);
  if (n <= 0) return std::string(static_cast<std::size_t>(texte.size()), '?');
  std::string octets(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(kCodePage1252, WC_NO_BEST_FIT_CHARS, large.data(),
                        static_cast<int>(large.size()), octets.data(), n, "?", nullptr);
  return octets;
}

#else

namespace {

// Windows-1252 gives every byte one character whatever stands around it, so
// the converter is asked once for the 256 of them and a line is then read
// through the table: the journal converts every line it shows and every
// line it keeps on disk, a hundred thousand in a large import, and asking
// the system's converter by name each time cost more than the rest of the
// line's way to the window.
struct Table1252 {
  char16_t unicode[256];
  // The same characters in UTF-8, for the journal file on this system.
  char utf8[256][4];
  std::uint8_t longueur_utf8[256];
};

const Table1252& table_1252() {
  static const Table1252 table = [] {
    Table1252 t{};
    QStringDecoder decodeur("windows-1252");
    for (int b = 0; b < 256; ++b) {
      const char octet = static_cast<char>(b);
      QString c;
      if (decodeur.isValid()) {
        decodeur.resetState();
        c = decodeur(QByteArrayView(&octet, 1));
      }
      // Without the converter (or where it gives nothing), the byte is
      // read as Latin-1, as the windows did before.
      if (c.size() != 1) c = QString(QChar(static_cast<char16_t>(b)));
      t.unicode[b] = c[0].unicode();
      const QByteArray u = c.toUtf8();
      const auto n = static_cast<std::size_t>(std::min<qsizetype>(u.size(), 4));
      std::memcpy(t.utf8[b], u.constData(), n);
      t.longueur_utf8[b] = static_cast<std::uint8_t>(n);
    }
    return t;
  }();
  return table;
}

}  // namespace

QString depuis_1252(std::string_view octets) {
  const Table1252& t = table_1252();
  QString texte(qsizetype(octets.size()), Qt::Uninitialized);
  QChar* c = texte.data();
  for (const char o : octets) *c++ = QChar(t.unicode[static_cast<std::uint8_t>(o)]);
  return texte;
}

namespace {

bool hors_ascii(char o) { return static_cast<std::uint8_t>(o) >= 0x80; }

// Runs of ASCII are copied whole; each other byte becomes its UTF-8 bytes.
void ajoute_utf8(std::string_view octets, std::string& texte) {
  const Table1252& t = table_1252();
  texte.reserve(texte.size() + octets.size() + octets.size() / 8);
  for (auto i = octets.begin(); i != octets.end();) {
    const auto autre = std::find_if(i, octets.end(), hors_ascii);
    texte.append(i, autre);
    if (autre == octets.end()) break;
    const auto b = static_cast<std::uint8_t>(*autre);
    texte.append(t.utf8[b], t.longueur_utf8[b]);
    i = autre + 1;
  }
}

}  // namespace

std::string utf8_depuis_1252(std::string_view octets) {
  std::string texte;
  ajoute_utf8(octets, texte);
  return texte;
}

std::string_view utf8_depuis_1252(std::string_view octets, std::string& tampon) {
  if (std::none_of(octets.begin(), octets.end(), hors_ascii)) return octets;
  tampon.clear();
  ajoute_utf8(octets, tampon);
  return tampon;
}

std::string vers_1252(const QString& texte) {
  QStringEncoder encodeur("windows-1252");
  if (!encodeur.isValid()) return texte.toLatin1().toStdString();
  QByteArray octets = encodeur(texte);
  if (!encodeur.hasError()) return octets.toStdString();
  // Rare: something pasted from elsewhere. Convert character by character.
  std::string resultat;
  resultat.reserve(std::size_t(texte.size()));
  for (qsizetype i = 0; i < texte.size();) {
    qsizetype n = texte[i].isHighSurrogate() && i + 1 < texte.size() ? 2 : 1;
    QStringEncoder un("windows-1252");
    QByteArray b = un(QStringView(texte).mid(i, n));
    if (un.hasError() || b.size() != 1) {
      resultat += '?';
    } else {
      resultat += b[0];
    }
    i += n;
  }
  return resultat;
}

#endif

}  // namespace pontex::fenetres
