#pragma once
// The core hands the windows Windows-1252 bytes (what the cash register's
// files, the transit files and "Pontex.wdo" hold); the windows show Unicode.
// These two are the only places where the windows cross that line.

#include <QString>
#include <string>
#include <string_view>

namespace pontex::fenetres {

QString depuis_1252(std::string_view octets);

#ifndef _WIN32
// The same text in UTF-8, as the journal file is kept on this system; the
// bytes QString::toUtf8() gives for depuis_1252(octets).
std::string utf8_depuis_1252(std::string_view octets);
// The same, without a copy for plain ASCII (the text itself is returned),
// otherwise converted into `tampon`: a journal line per movement.
std::string_view utf8_depuis_1252(std::string_view octets, std::string& tampon);
#endif

// A character that Windows-1252 cannot hold becomes "?", as the system's own
// conversion to the ANSI code page does, rather than a control byte that
// would end up in a file.
std::string vers_1252(const QString& texte);

}  // namespace pontex::fenetres
