#pragma once
// Only `T` can make one: a class whose objects come from its own factory takes a QLPasskey<T>
// in its public constructor, which std::make_shared can call and nobody else.
namespace quillon {

template <class T>
class QLPasskey {
  friend T;
  QLPasskey() = default;
};

}  // namespace quillon
