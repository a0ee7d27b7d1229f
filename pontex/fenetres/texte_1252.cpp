#include "pontex/fenetres/texte_1252.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <QByteArray>
#include <QStringDecoder>
#include <QStringEncoder>
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

QString depuis_1252(std::string_view octets) {
  QStringDecoder decodeur("windows-1252");
  if (!decodeur.isValid()) return QString::fromLatin1(octets.data(), qsizetype(octets.size()));
  return decodeur(QByteArrayView(octets.data(), qsizetype(octets.size())));
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
