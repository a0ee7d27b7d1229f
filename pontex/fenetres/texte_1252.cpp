#include "pontex/fenetres/texte_1252.h"

#include <QByteArray>
#include <QStringDecoder>
#include <QStringEncoder>

namespace pontex::fenetres {

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

}  // namespace pontex::fenetres
