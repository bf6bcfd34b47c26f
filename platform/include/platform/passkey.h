#pragma once
// A constructor argument only T can make: a class whose objects must come from its own factory
// (so that no caller holds a half-wired one) takes a Passkey<T> in its public constructor, which
// std::make_shared can still reach.
namespace platform {

template <class T>
class Passkey {
  friend T;
  Passkey() = default;
};

}  // namespace platform
