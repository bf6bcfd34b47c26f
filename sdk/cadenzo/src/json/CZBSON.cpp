#include "CZBSON.h"

#include "CZBSONWriter.h"

namespace cadenzo {

platform::Bytes CZBSON::BSONFromDictionary(const platform::Dictionary& dict) {
  CZBSONWriter writer;
  for (const auto& [key, value] : dict) {
    if (value.isNull()) {
      writer.appendNull(key);
    } else if (value.isString()) {
      writer.appendString(key, value.string());
    }
  }
  writer.finish();
  return writer.data();
}

}  // namespace cadenzo
