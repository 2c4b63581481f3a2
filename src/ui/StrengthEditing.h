#pragma once
// The popover's one way to the platform's strength. The drag on the slider,
// keys on the strength row and values set by assistive technology each open
// an edit, write through value() and close their edit, through the callback
// input() gives each of them. However they overlap, the value written last is
// committed, once, when the last open edit closes: a key burst still open
// when a later drag ends does not undo the drag.
//
// While an edit is open, value() reads what was written last rather than a
// status read published meanwhile, so the thumb stays where the hand put it
// and the end commits that, not the read.
//
// Plain C++: no Qt.

#include <functional>
#include <memory>

#include "ui/Binding.h"

namespace duskwarden::ui {

class StrengthEditing {
 public:
  // `published` is the model's value; `commit` hands a value to the platform.
  StrengthEditing(Binding<float> published, std::function<void(float)> commit);

  Binding<float> value() const;
  // A new input's onEditingChanged: true opens its edit (again only after it
  // closed it), false closes it.
  std::function<void(bool)> input() const;
  bool isEditing() const { return state_->open > 0; }

 private:
  struct State {
    Binding<float> published;
    std::function<void(float)> commit;
    int open = 0;         // inputs whose edit is open
    bool written = false; // since the first of them opened
    float last = 0;       // the value written last
  };
  std::shared_ptr<State> state_;
};

}  // namespace duskwarden::ui
