#pragma once
// BSON documents of string and null elements, as the identity document needs them.
// Pure functions: thread-safe.
#include "platform/value.h"

namespace cadenzo {

class CZBSON {
 public:
  // The finished BSON document of `dict`, in its key order: a null value becomes a null
  // element, a string a string element; values of other kinds, and elements the writer
  // refuses (a key or value that is not well-formed UTF-8, a key holding a 0 byte), are left
  // out and the rest is written.
  static platform::Bytes BSONFromDictionary(const platform::Dictionary& dict);
};

}  // namespace cadenzo
