#pragma once
// A constructor argument only `T` can make. A class whose objects must come from its own
// factory (which wires timers, targets or the object's own weak pointer after construction)
// takes one: std::make_shared can still call the public constructor, nothing else can.
namespace cadenzo {

template <class T>
class CZPasskey {
  friend T;
  CZPasskey() = default;
};

}  // namespace cadenzo
