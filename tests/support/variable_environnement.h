#pragma once
// Sets (or unsets) an environment variable while it lives (HOME, XDG_CONFIG_HOME, ...).

#include <cstdlib>
#include <optional>
#include <string>

namespace pontex::test {

class VariableEnvironnement {
 public:
  VariableEnvironnement(const char* nom, const char* valeur) : nom_(nom) {
    if (const char* v = std::getenv(nom)) avant_ = v;
    ecrit(nom_.c_str(), valeur);
  }
  ~VariableEnvironnement() { ecrit(nom_.c_str(), avant_ ? avant_->c_str() : nullptr); }
  VariableEnvironnement(const VariableEnvironnement&) = delete;
  VariableEnvironnement& operator=(const VariableEnvironnement&) = delete;

 private:
  static void ecrit(const char* nom, const char* valeur) {
#ifdef _WIN32
    // Also sets the process's own environment block, which the system and
    // the started programs read. An empty value removes the variable there.
    ::_putenv_s(nom, valeur ? valeur : "");
#else
    valeur ? ::setenv(nom, valeur, 1) : ::unsetenv(nom);
#endif
  }
  std::string nom_;
  std::optional<std::string> avant_;
};

}  // namespace pontex::test
