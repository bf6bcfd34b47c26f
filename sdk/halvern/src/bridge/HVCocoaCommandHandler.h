#pragma once
// "BridgeCocoa": lets a page ask the classes of HVBridgedClassRegistry questions and call
// their methods, holding the results by handle ("obj@…") with a count of the page's retains.
#include <map>
#include <optional>
#include <string>

#include "HVBridgedClassRegistry.h"
#include "HVCommandHandler.h"

namespace halvern {

class HVCocoaCommandHandler final : public HVCommandHandler {
 public:
  HVCocoaCommandHandler();

  static std::string keyForObject(const HVBridgedObjectRef& object);
  static bool isObjectHandle(const platform::Value& value);

  // Registers `object` with a count of 1 (again from 1 when it was there) and answers its handle.
  std::string addBridgedObject(const HVBridgedObjectRef& object);
  void removeBridgedObject(const std::string& handle);
  void removeAllBridgedObjects() { m_bridgedObjects.clear(); }
  // nullopt when the handle is unknown.
  std::optional<unsigned> retainCountForTesting(const std::string& handle) const;
  HVBridgedObjectRef objectForHandle(const std::string& handle) const;

 private:
  struct Entry {
    HVBridgedObjectRef object;
    unsigned retainCount = 0;
  };
  HVBridgedObjectRef resolve(const platform::Value& argument) const;
  void perform(const HVCommandArguments& args, bool onClass, size_t argumentCount);

  std::map<std::string, Entry> m_bridgedObjects;
};

}  // namespace halvern
