#include "HVBridgedClassRegistry.h"

#include <cstdio>

#include "platform/device.h"

namespace halvern {

std::shared_ptr<HVBridgedObject> HVBridgedObject::withValue(platform::Value value) {
  auto object = std::make_shared<HVBridgedObject>();
  object->value = std::move(value);
  return object;
}

std::string HVBridgedObject::description() const {
  if (className.empty()) return value.description();
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
  return "<" + className + ": " + address + ">";
}

HVBridgedClassRegistry& HVBridgedClassRegistry::shared() {
  static HVBridgedClassRegistry registry;
  return registry;
}

HVBridgedClassRegistry::HVBridgedClassRegistry() { registerDefaults(); }

void HVBridgedClassRegistry::resetForTesting() {
  classes_.clear();
  registerDefaults();
}

void HVBridgedClassRegistry::registerDefaults() {
  using Ref = const HVBridgedObjectRef&;
  using Args = const std::vector<HVBridgedObjectRef>&;
  auto deviceFact = [](std::string (platform::Device::*fact)() const) {
    return [fact](Ref, Args) { return HVBridgedObject::withValue(platform::Value((platform::Device::currentDevice().*fact)())); };
  };
  Class device{"UIDevice", {}, {}};
  device.classMethods.push_back({"currentDevice", ResultKind::kObject, [](Ref, Args) {
                                   auto object = std::make_shared<HVBridgedObject>();
                                   object->className = "UIDevice";
                                   return object;
                                 }});
  device.instanceMethods.push_back({"model", ResultKind::kObject, deviceFact(&platform::Device::model)});
  device.instanceMethods.push_back({"systemName", ResultKind::kObject, deviceFact(&platform::Device::systemName)});
  device.instanceMethods.push_back({"systemVersion", ResultKind::kObject, deviceFact(&platform::Device::systemVersion)});
  device.instanceMethods.push_back({"orientation", ResultKind::kValue, [](Ref, Args) {
                                      return HVBridgedObject::withValue(platform::Value(
                                          static_cast<int64_t>(platform::Device::currentDevice().orientation())));
                                    }});
  registerClass(std::move(device));
}

void HVBridgedClassRegistry::registerClass(Class cls) {
  for (auto& existing : classes_) {
    if (existing.name == cls.name) {
      existing = std::move(cls);
      return;
    }
  }
  classes_.push_back(std::move(cls));
}

const HVBridgedClassRegistry::Class* HVBridgedClassRegistry::classNamed(const std::string& name) const {
  for (const auto& cls : classes_)
    if (cls.name == name) return &cls;
  return nullptr;
}

namespace {

const HVBridgedClassRegistry::Method* findMethod(const std::vector<HVBridgedClassRegistry::Method>& methods,
                                                 const std::string& selector) {
  for (const auto& method : methods)
    if (method.selector == selector) return &method;
  return nullptr;
}

}  // namespace

const HVBridgedClassRegistry::Method* HVBridgedClassRegistry::instanceMethod(const std::string& className,
                                                                             const std::string& selector) const {
  const Class* cls = classNamed(className);
  return cls ? findMethod(cls->instanceMethods, selector) : nullptr;
}

const HVBridgedClassRegistry::Method* HVBridgedClassRegistry::classMethod(const std::string& className,
                                                                          const std::string& selector) const {
  const Class* cls = classNamed(className);
  return cls ? findMethod(cls->classMethods, selector) : nullptr;
}

}  // namespace halvern
