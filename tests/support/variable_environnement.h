#pragma once
// Sets (or unsets) an environment variable while it lives: the Startup and
// profile folders come from HOME and XDG_CONFIG_HOME, the minimised start
// from PONTEX_DEMARRAGE_REDUIT. POSIX only; the Windows tests need none.

#ifndef _WIN32
#include <cstdlib>
#include <optional>
#include <string>

namespace pontex::test {

class VariableEnvironnement {
 public:
  VariableEnvironnement(const char* nom, const char* valeur) : nom_(nom) {
    if (const char* v = std::getenv(nom)) avant_ = v;
    valeur ? ::setenv(nom, valeur, 1) : ::unsetenv(nom);
  }
  ~VariableEnvironnement() {
    avant_ ? ::setenv(nom_.c_str(), avant_->c_str(), 1) : ::unsetenv(nom_.c_str());
  }
  VariableEnvironnement(const VariableEnvironnement&) = delete;
  VariableEnvironnement& operator=(const VariableEnvironnement&) = delete;

 private:
  std::string nom_;
  std::optional<std::string> avant_;
};

}  // namespace pontex::test
#endif
