#pragma once
// The native classes and methods "BridgeCocoa" lets pages reach. C++ has no runtime to ask
// which classes and methods exist, and a page should reach no more than an ad needs, so this
// is an explicit table: a class is known by name, with its own class and instance methods in
// declaration order, each declaring the kind of result it gives. Main thread only.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/value.h"

namespace halvern {

// A native object a page holds a handle to: a plain value (string, number, …) or an instance
// of a registered class.
struct HVBridgedObject {
  std::string className;  // empty for a plain value
  platform::Value value;
  std::shared_ptr<void> native;

  static std::shared_ptr<HVBridgedObject> withValue(platform::Value value);
  std::string description() const;
};

using HVBridgedObjectRef = std::shared_ptr<HVBridgedObject>;

class HVBridgedClassRegistry {
 public:
  // What a method gives back: an object the page may hold, a plain value that is boxed into
  // one, or nothing (the page gets the handle of nil).
  enum class ResultKind { kObject, kValue, kVoid };
  struct Method {
    std::string selector;
    ResultKind resultKind;
    // Receiver (null for class methods) and arguments already resolved from handles.
    std::function<HVBridgedObjectRef(const HVBridgedObjectRef&, const std::vector<HVBridgedObjectRef>&)> call;
  };
  struct Class {
    std::string name;
    std::vector<Method> classMethods;
    std::vector<Method> instanceMethods;
  };

  static HVBridgedClassRegistry& shared();

  void registerClass(Class cls);
  const Class* classNamed(const std::string& name) const;
  // The method an object or class answers to, or nullptr.
  const Method* instanceMethod(const std::string& className, const std::string& selector) const;
  const Method* classMethod(const std::string& className, const std::string& selector) const;
  // Forgets every class and puts back the defaults (the device facts an ad may read).
  void resetForTesting();

 private:
  HVBridgedClassRegistry();
  void registerDefaults();
  std::vector<Class> classes_;
};

}  // namespace halvern
