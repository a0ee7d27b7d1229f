#pragma once
// Test seam shared by the modal windows (message dialog, settings window):
// actions a test wants run on the next showings of a window, one per
// showing, then a default one. Empty in the program, so nothing runs.

#include <QTimer>
#include <deque>
#include <functional>
#include <utility>

namespace pontex::fenetres {

template <class Fenetre>
class ActionsPrevues {
 public:
  using Action = std::function<void(Fenetre&)>;

  void prevoit(Action action) { file_.push_back(std::move(action)); }
  void met_par_defaut(Action action) { par_defaut_ = std::move(action); }
  void oublie() {
    file_.clear();
    par_defaut_ = nullptr;
  }

  // Runs the next action on `fenetre` from the event loop, once the modal
  // window it is about to enter is shown.
  void lance_sur(Fenetre& fenetre) {
    Action action = par_defaut_;
    if (!file_.empty()) {
      action = std::move(file_.front());
      file_.pop_front();
    }
    if (action) QTimer::singleShot(0, &fenetre, [&fenetre, action] { action(fenetre); });
  }

 private:
  std::deque<Action> file_;
  Action par_defaut_;
};

}  // namespace pontex::fenetres
