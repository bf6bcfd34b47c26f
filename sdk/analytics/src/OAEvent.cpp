#include "OAEvent.h"

#include <utility>

namespace analytics {

OAEvent::OAEvent(std::string category, std::string action, std::optional<std::string> label,
                 int32_t value)
    : category_(std::move(category)),
      action_(std::move(action)),
      label_(std::move(label)),
      value_(value) {}

OAEvent::OAEvent(int64_t eventID, int32_t randomVal, int32_t timestampFirst,
                 int32_t timestampPrevious, int32_t timestampCurrent, int32_t visits,
                 std::string category, std::string action, std::optional<std::string> label,
                 int32_t value)
    : eventID_(eventID),
      randomVal_(randomVal),
      timestampFirst_(timestampFirst),
      timestampPrevious_(timestampPrevious),
      timestampCurrent_(timestampCurrent),
      visits_(visits),
      category_(std::move(category)),
      action_(std::move(action)),
      label_(std::move(label)),
      value_(value) {}

}  // namespace analytics
