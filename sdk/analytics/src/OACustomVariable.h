#pragma once
// Custom variables: up to five name/value pairs in numbered slots attached to a hit.
//
// OACustomVariable is immutable once made. OACustomVariableBuffer is not thread-safe; the
// tracker fills it under its lock and hands it to one hit, which then owns it.
#include <array>
#include <memory>
#include <string>

#include "analytics/OACustomVariableScope.h"

namespace analytics {

class OACustomVariable {
 public:
  // `index` is the slot (1 to 5), `scope` 1 visitor, 2 session, 3 page. Nothing is checked
  // here: the tracker and the buffer decide what they accept.
  OACustomVariable(int index, std::string name, std::string value, int scope);

  int index() const { return index_; }
  const std::string& name() const { return name_; }
  const std::string& value() const { return value_; }
  int scope() const { return scope_; }

 private:
  int index_;
  std::string name_;
  std::string value_;
  int scope_;
};

class OACustomVariableBuffer {
 public:
  OACustomVariableBuffer() = default;

  // Puts `variable` in its slot, replacing what was there. False for a null variable or an
  // index outside 1 to 5 (negative indexes included).
  bool addCustomVariable(std::shared_ptr<const OACustomVariable> variable);
  // The variable in slot `index`, or null (also for an index outside 1 to 5).
  std::shared_ptr<const OACustomVariable> customVariableAt(int index) const;
  // True when slot `index` (1 to 5) is empty; false when occupied or out of range.
  bool isSlotAvailable(int index) const;
  bool hasCustomVariables() const;

 private:
  static bool isValidIndex(int index) { return index >= 1 && index <= kOAMaxCustomVariables; }
  std::array<std::shared_ptr<const OACustomVariable>, kOAMaxCustomVariables> slots_;
};

}  // namespace analytics
