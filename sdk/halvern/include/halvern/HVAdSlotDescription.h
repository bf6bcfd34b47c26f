#pragma once
// What the host gives for each slot it wants filled: a size code and a name.
#include <cstdint>
#include <string>

namespace halvern {

using HVAdSize = int32_t;
inline constexpr HVAdSize HVAdSizeBanner = 1;
inline constexpr HVAdSize HVAdSizeFullScreen = 2;
inline constexpr HVAdSize HVAdSizeMediumRectangle = 3;
inline constexpr HVAdSize HVAdSizeLeaderboard = 4;
inline constexpr HVAdSize HVAdSizeWideSkyscraper = 5;

// Slot names become folder names and script text later on, which is why only letters,
// marks and digits are let in; the empty name is allowed.
bool isValidSlotName(const std::string& name);

class HVAdSlotDescription {
 public:
  // Throws platform::Exception ("NSInvalidArgumentException") for a name with anything but
  // letters, marks and digits, and for a full-screen size on a pad.
  HVAdSlotDescription(HVAdSize size, std::string name);
  static HVAdSlotDescription descriptionWithSizeName(HVAdSize size, std::string name) {
    return HVAdSlotDescription(size, std::move(name));
  }

  HVAdSize size() const { return m_size; }
  const std::string& name() const { return m_name; }

  bool isEqual(const HVAdSlotDescription& other) const { return m_size == other.m_size && m_name == other.m_name; }
  bool operator==(const HVAdSlotDescription& other) const { return isEqual(other); }
  uint32_t hash() const;

 private:
  HVAdSize m_size;
  std::string m_name;
};

}  // namespace halvern
