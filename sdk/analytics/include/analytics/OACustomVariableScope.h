#pragma once
// The slots and scopes a host passes when it sets a custom variable on the tracker.
namespace analytics {

inline constexpr int kOAMaxCustomVariables = 5;
inline constexpr int kOAVisitorScope = 1;
inline constexpr int kOASessionScope = 2;
inline constexpr int kOAPageScope = 3;

}  // namespace analytics
