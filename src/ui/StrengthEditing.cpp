#include "ui/StrengthEditing.h"

#include <utility>

namespace duskwarden::ui {

StrengthEditing::StrengthEditing(Binding<float> published, std::function<void(float)> commit)
    : state_(std::make_shared<State>(State{std::move(published), std::move(commit)})) {}

Binding<float> StrengthEditing::value() const {
  return {[state = state_] { return state->open > 0 && state->written ? state->last : state->published.get(); },
          [state = state_](float value) {
            state->last = value;
            state->written = true;
            state->published.set(value);
          }};
}

std::function<void(bool)> StrengthEditing::input() const {
  return [state = state_, mine = std::make_shared<bool>(false)](bool editing) {
    if (editing == *mine) return;  // an end without a start (or the reverse) changes nothing
    *mine = editing;
    if (editing) {
      if (state->open++ == 0) state->written = false;
      return;
    }
    if (--state->open > 0 || !state->written) return;
    // The last open edit closed: what was written last is the one value
    // committed, published again first if a status read replaced it.
    if (state->published.get() != state->last) state->published.set(state->last);
    if (state->commit) state->commit(state->last);
  };
}

}  // namespace duskwarden::ui
