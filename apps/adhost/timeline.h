#pragma once
// The demo's printed record: every line stamped with the virtual time since the start.
#include <string>

#include "platform/format.h"

namespace adhost {

void startTimeline();
void note(const std::string& actor, const std::string& text);
void heading(const std::string& text);

template <class... Args>
void notef(const std::string& actor, const char* fmt, const Args&... args) {
  note(actor, platform::format(fmt, args...));
}

}  // namespace adhost
