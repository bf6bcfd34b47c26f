#pragma once
// The text of a hit on the wire: the query of the "/__ova.gif" request, its event text, the
// custom-variable projects and the cookie. Pure functions; thread-safe.
#include <cstdint>
#include <string>
#include <string_view>

#include "OAEvent.h"

namespace analytics::wire {

inline constexpr const char* kOAHitPath = "/__ova.gif";
inline constexpr const char* kOAWireVersion = "4.5mi";

// What a request needs besides the hit itself.
struct HitContext {
  std::string accountID;
  int32_t userID = 0;  // the store id
  std::string hitID;
  int screenWidth = 0;
  int screenHeight = 0;
  std::string languageCode;
  std::string countryCode;
};

// "'" → "'0", ")" → "'1", "*" → "'2", "!" → "'3", so a text cannot end a field of the
// event text early.
std::string extEscape(std::string_view text);
// The collector's domain hash (737325 for "-").
int32_t simpleHashForString(std::string_view text);

// "8(...)9(...)11(...)" of the hit's custom variables, or "" when it has none.
std::string customVariableParamsForEvent(const OAEvent& event);
// One project: "%d(" then "<slot>!<text>" per occupied slot joined by "*", then ")".
std::string extProjectForProjectNumberWithCustomVariables(int project,
                                                          const OACustomVariableBuffer& buffer);
// "__ovaa=<hash of "-">.<user id>.<first>.<previous>.<current>.<visits>", escaped.
std::string getEscapedCookieString(const OAEvent& event, int32_t userID);
// "5(category*action[*label])[(value)][custom variables]", before the whole is escaped.
std::string eventText(const OAEvent& event);

// The request paths; `random` is the hit's cache-busting number ("ovan").
std::string constructEventRequestPath(const OAEvent& event, const HitContext& context, long random);
std::string constructPageviewRequestPath(const OAEvent& event, const HitContext& context,
                                         long random);

}  // namespace analytics::wire
