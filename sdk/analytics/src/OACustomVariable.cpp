#include "OACustomVariable.h"

#include <utility>

namespace analytics {

OACustomVariable::OACustomVariable(int index, std::string name, std::string value, int scope)
    : index_(index), name_(std::move(name)), value_(std::move(value)), scope_(scope) {}

bool OACustomVariableBuffer::addCustomVariable(std::shared_ptr<const OACustomVariable> variable) {
  if (!variable || !isValidIndex(variable->index())) return false;
  slots_[variable->index() - 1] = std::move(variable);
  return true;
}

std::shared_ptr<const OACustomVariable> OACustomVariableBuffer::customVariableAt(int index) const {
  if (!isValidIndex(index)) return nullptr;
  return slots_[index - 1];
}

bool OACustomVariableBuffer::isSlotAvailable(int index) const {
  return isValidIndex(index) && !slots_[index - 1];
}

bool OACustomVariableBuffer::hasCustomVariables() const {
  for (const auto& slot : slots_) {
    if (slot) return true;
  }
  return false;
}

}  // namespace analytics
