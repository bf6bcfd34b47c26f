#pragma once
// One analytics hit, as the tracker makes it, the store keeps it and the dispatcher sends it.
// A plain value object: not thread-safe; whoever holds it uses it under the tracker's lock.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "OACustomVariable.h"

namespace analytics {

// The category that marks a page view; its action is the page path.
inline constexpr const char* kOAPageviewCategory = "__##ORVANEPAGEVIEW##__";

class OAEvent {
 public:
  // A hit not stored yet: event id, random value, timestamps and visits are all -1.
  OAEvent(std::string category, std::string action, std::optional<std::string> label,
          int32_t value);
  // A hit read back from the store, every field given.
  OAEvent(int64_t eventID, int32_t randomVal, int32_t timestampFirst, int32_t timestampPrevious,
          int32_t timestampCurrent, int32_t visits, std::string category, std::string action,
          std::optional<std::string> label, int32_t value);

  int64_t eventID() const { return eventID_; }
  void setEventID(int64_t v) { eventID_ = v; }
  int32_t randomVal() const { return randomVal_; }
  void setRandomVal(int32_t v) { randomVal_ = v; }
  int32_t timestampFirst() const { return timestampFirst_; }
  void setTimestampFirst(int32_t v) { timestampFirst_ = v; }
  int32_t timestampPrevious() const { return timestampPrevious_; }
  void setTimestampPrevious(int32_t v) { timestampPrevious_ = v; }
  int32_t timestampCurrent() const { return timestampCurrent_; }
  void setTimestampCurrent(int32_t v) { timestampCurrent_ = v; }
  int32_t visits() const { return visits_; }
  void setVisits(int32_t v) { visits_ = v; }
  const std::string& category() const { return category_; }
  void setCategory(std::string v) { category_ = std::move(v); }
  const std::string& action() const { return action_; }
  void setAction(std::string v) { action_ = std::move(v); }
  const std::optional<std::string>& label() const { return label_; }
  void setLabel(std::optional<std::string> v) { label_ = std::move(v); }
  // Negative values are not sent.
  int32_t value() const { return value_; }
  void setValue(int32_t v) { value_ = v; }
  const std::shared_ptr<OACustomVariableBuffer>& customVariableBuffer() const {
    return customVariableBuffer_;
  }
  void setCustomVariableBuffer(std::shared_ptr<OACustomVariableBuffer> b) {
    customVariableBuffer_ = std::move(b);
  }

  bool isPageview() const { return category_ == kOAPageviewCategory; }

 private:
  int64_t eventID_ = -1;
  int32_t randomVal_ = -1;
  int32_t timestampFirst_ = -1;
  int32_t timestampPrevious_ = -1;
  int32_t timestampCurrent_ = -1;
  int32_t visits_ = -1;
  std::string category_;
  std::string action_;
  std::optional<std::string> label_;
  int32_t value_ = -1;
  std::shared_ptr<OACustomVariableBuffer> customVariableBuffer_;
};

}  // namespace analytics
