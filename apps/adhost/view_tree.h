#pragma once
#include <functional>
#include <memory>

#include "platform/view.h"

namespace adhost {

// Prints a view and everything under it: class, frame, hidden, alpha.
void printViewTree(const std::shared_ptr<platform::View>& root);

// The first view of type T at or under `root` (depth first, in subview order) that is not
// hidden and that `match` accepts (any, when empty): how a player finds what to touch.
template <class T>
std::shared_ptr<T> findView(const std::shared_ptr<platform::View>& root, const std::function<bool(const T&)>& match = {}) {
  if (!root || root->isHidden()) return nullptr;
  if (auto found = std::dynamic_pointer_cast<T>(root); found && (!match || match(*found))) return found;
  for (const auto& sub : root->subviews())
    if (auto found = findView<T>(sub, match)) return found;
  return nullptr;
}

}  // namespace adhost
