#pragma once
// Reads the XML body of an ad reply into one NBAdUnit. One parser per reply; any thread, one
// at a time.
#include <memory>

#include "NBAdUnit.h"
#include "platform/value.h"

namespace nubira {

class NBAdXMLParser {
 public:
  NBAdXMLParser();
  ~NBAdXMLParser();

  // The unit when the reply gives a valid one, else nullptr. What was read before a parse
  // error counts: a reply cut after a complete Ad element can still give an ad.
  std::shared_ptr<NBAdUnit> buildAdUnitFromResponseData(const platform::Bytes& data);

 private:
  class Listener;
  std::shared_ptr<NBAdUnit> ad_;
  std::shared_ptr<Listener> listener_;
};

}  // namespace nubira
