#pragma once
// Outcome of one step that may fail. The exchange runs step by step and a
// failed step is skipped, so every file operation reports success or failure
// (with a reason for the journal or a test) instead of throwing. A result
// is never dropped unseen: a caller that has nothing to do with a failure
// says so with (void) and a comment giving the reason.

#include <string>
#include <utility>

namespace pontex {

class [[nodiscard]] Resultat {
 public:
  static Resultat succes() { return Resultat(true, {}); }
  static Resultat echec(std::string raison) { return Resultat(false, std::move(raison)); }

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  // Empty on success; a short English reason otherwise (errno text, etc.).
  const std::string& raison() const { return raison_; }

 private:
  Resultat(bool ok, std::string raison) : ok_(ok), raison_(std::move(raison)) {}
  bool ok_;
  std::string raison_;
};

}  // namespace pontex
