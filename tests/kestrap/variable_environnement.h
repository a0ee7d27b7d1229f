#pragma once
// Sets (or unsets) an environment variable while it lives: the Startup
// folder comes from HOME and XDG_CONFIG_HOME.

#include <cstdlib>
#include <optional>
#include <string>

namespace kestrap::test {

class VariableEnvironnement {
 public:
  VariableEnvironnement(const char* nom, const char* valeur) : nom_(nom) {
    if (const char* v = std::getenv(nom)) avant_ = v;
    if (valeur != nullptr) {
      ::setenv(nom, valeur, 1);
    } else {
      ::unsetenv(nom);
    }
  }
  ~VariableEnvironnement() {
    if (avant_) {
      ::setenv(nom_.c_str(), avant_->c_str(), 1);
    } else {
      ::unsetenv(nom_.c_str());
    }
  }
  VariableEnvironnement(const VariableEnvironnement&) = delete;
  VariableEnvironnement& operator=(const VariableEnvironnement&) = delete;

 private:
  std::string nom_;
  std::optional<std::string> avant_;
};

}  // namespace kestrap::test
