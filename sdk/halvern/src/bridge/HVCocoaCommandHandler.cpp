#include "HVCocoaCommandHandler.h"

#include <algorithm>
#include <cstdio>

#include "HVJSON.h"

namespace halvern {

namespace {

constexpr const char* kTooManyArguments = "TooManyArguments";
constexpr const char* kDoesNotRespondToSelector = "DoesNotRespondToSelector";
// A handle whose object is again a handle is followed at most this far (a page can make a
// string that names its own entry).
constexpr int kMaxHandleHops = 8;

}  // namespace

HVCocoaCommandHandler::HVCocoaCommandHandler() : HVCommandHandler("BridgeCocoa") {
  using A = const HVCommandArguments&;
  auto& registry = HVBridgedClassRegistry::shared();
  declareCommand("bridge_object:doesRespondToSelectorNamed:withCallback:", [this, &registry](A args) {
    auto object = resolve(args[0]);
    const bool responds = object && !object->className.empty() &&
                          registry.instanceMethod(object->className, stringArgument(args, 1));
    answerCallback(args[2], responds ? "1" : "0");
  });
  declareCommand("bridge_class:doesRespondToSelectorNamed:withCallback:", [this, &registry](A args) {
    answerCallback(args[2], registry.classMethod(stringArgument(args, 0), stringArgument(args, 1)) ? "1" : "0");
  });
  declareCommand("bridge_performSelector:onObject:withCallback:", [this](A args) { perform(args, false, 0); });
  declareCommand("bridge_performSelector:onObject:withObject:withCallback:", [this](A args) { perform(args, false, 1); });
  declareCommand("bridge_performSelector:onObject:withObject:withObject:withCallback:",
                 [this](A args) { perform(args, false, 2); });
  declareCommand("bridge_performSelector:onClass:withCallback:", [this](A args) { perform(args, true, 0); });
  declareCommand("bridge_performSelector:onClass:withObject:withCallback:", [this](A args) { perform(args, true, 1); });
  declareCommand("bridge_performSelector:onClass:withObject:withObject:withCallback:",
                 [this](A args) { perform(args, true, 2); });
  declareCommand("bridge_retainObject:", [this](A args) {
    auto it = m_bridgedObjects.find(stringArgument(args, 0));
    if (it != m_bridgedObjects.end()) ++it->second.retainCount;
  });
  declareCommand("bridge_releaseObject:", [this](A args) {
    auto it = m_bridgedObjects.find(stringArgument(args, 0));
    if (it == m_bridgedObjects.end()) return;
    if (it->second.retainCount > 1) --it->second.retainCount;
    else m_bridgedObjects.erase(it);
  });
  declareCommand("bridge_valueForObject:withCallback:", [this](A args) {
    auto object = resolve(args[0]);
    // Unquoted, as pages expect, but escaped so that no text leaves the template's literal.
    answerCallback(args[1], HVJSON::stringByEscapingCharacters(object ? object->description() : "(null)"));
  });
  declareCommand("bridge_selectorsForClass:withCallback:", [this, &registry](A args) {
    const auto* cls = registry.classNamed(stringArgument(args, 0));
    platform::Value names;
    if (cls) {
      platform::Array list;
      for (const auto& method : cls->instanceMethods) list.push_back(platform::Value(method.selector));
      names = platform::Value(std::move(list));
    }
    answerCallback(args[1], HVJSON::stringWithObject(names));
  });
}

std::string HVCocoaCommandHandler::keyForObject(const HVBridgedObjectRef& object) {
  char handle[48];
  if (object) std::snprintf(handle, sizeof handle, "obj@%p", static_cast<const void*>(object.get()));
  else std::snprintf(handle, sizeof handle, "obj@0x0");
  return handle;
}

bool HVCocoaCommandHandler::isObjectHandle(const platform::Value& value) {
  return value.description().rfind("obj@", 0) == 0;
}

std::string HVCocoaCommandHandler::addBridgedObject(const HVBridgedObjectRef& object) {
  const std::string handle = keyForObject(object);
  m_bridgedObjects[handle] = Entry{object, 1};
  return handle;
}

void HVCocoaCommandHandler::removeBridgedObject(const std::string& handle) { m_bridgedObjects.erase(handle); }

std::optional<unsigned> HVCocoaCommandHandler::retainCountForTesting(const std::string& handle) const {
  auto it = m_bridgedObjects.find(handle);
  if (it == m_bridgedObjects.end()) return std::nullopt;
  return it->second.retainCount;
}

HVBridgedObjectRef HVCocoaCommandHandler::objectForHandle(const std::string& handle) const {
  auto it = m_bridgedObjects.find(handle);
  return it == m_bridgedObjects.end() ? nullptr : it->second.object;
}

HVBridgedObjectRef HVCocoaCommandHandler::resolve(const platform::Value& argument) const {
  if (argument.isNull()) return nullptr;
  if (!isObjectHandle(argument)) return HVBridgedObject::withValue(argument);
  auto object = objectForHandle(argument.description());
  for (int hop = 0; object && object->className.empty() && isObjectHandle(object->value); ++hop) {
    if (hop == kMaxHandleHops) return nullptr;
    object = objectForHandle(object->value.description());
  }
  return object;
}

void HVCocoaCommandHandler::perform(const HVCommandArguments& args, bool onClass, size_t argumentCount) {
  auto& registry = HVBridgedClassRegistry::shared();
  const std::string selector = stringArgument(args, 0);
  HVBridgedObjectRef receiver;
  const HVBridgedClassRegistry::Method* method = nullptr;
  if (onClass) {
    method = registry.classMethod(stringArgument(args, 1), selector);
  } else {
    receiver = resolve(args[1]);
    if (receiver && !receiver->className.empty()) method = registry.instanceMethod(receiver->className, selector);
  }
  std::vector<HVBridgedObjectRef> arguments;
  for (size_t i = 0; i < argumentCount; ++i) arguments.push_back(resolve(args[2 + i]));
  const auto& callback = args[2 + argumentCount];

  HVBridgedObjectRef result;
  const size_t keywords = static_cast<size_t>(std::count(selector.begin(), selector.end(), ':'));
  if (!method || keywords != argumentCount) {
    result = HVBridgedObject::withValue(platform::Value(argumentCount > 2 ? kTooManyArguments : kDoesNotRespondToSelector));
  } else {
    HVBridgedObjectRef returned = method->call(receiver, arguments);
    switch (method->resultKind) {
      case HVBridgedClassRegistry::ResultKind::kObject: result = returned; break;
      case HVBridgedClassRegistry::ResultKind::kValue:
        result = returned ? returned : HVBridgedObject::withValue(platform::Value());
        break;
      case HVBridgedClassRegistry::ResultKind::kVoid: result = nullptr; break;
    }
  }
  if (!callback.isString() || callback.string().empty()) return;
  answerCallback(callback, platform::quoteScriptString(addBridgedObject(result)));
}

}  // namespace halvern
