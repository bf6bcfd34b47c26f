#include "CZJsonWriter.h"

#include <memory>

#include "CZJsonStreamWriter.h"
#include "CZJsonStreamWriterAccumulator.h"

namespace cadenzo {

std::string CZJsonWriter::error() const {
  std::lock_guard<std::mutex> lock(errorMutex_);
  return error_;
}

void CZJsonWriter::setError(std::string error) {
  std::lock_guard<std::mutex> lock(errorMutex_);
  error_ = std::move(error);
}

std::optional<platform::Bytes> CZJsonWriter::dataWithObject(const platform::Value& value) {
  setError(std::string());
  auto accumulator = std::make_shared<CZJsonStreamWriterAccumulator>();
  CZJsonStreamWriter writer;
  writer.setSortKeys(sortKeys());
  writer.setMaxDepth(maxDepth());
  writer.setHumanReadable(humanReadable());
  writer.setDelegate(accumulator);
  bool ok;
  if (value.isDictionary()) {
    ok = writer.writeObject(value.dictionary());
  } else if (value.isArray()) {
    ok = writer.writeArray(value.array());
  } else {
    setError("Not valid type for JSON");
    return std::nullopt;
  }
  if (!ok) {
    setError(writer.error());
    return std::nullopt;
  }
  return accumulator->takeData();
}

std::optional<std::string> CZJsonWriter::stringWithObject(const platform::Value& value) {
  auto data = dataWithObject(value);
  if (!data) return std::nullopt;
  return std::string(data->begin(), data->end());
}

std::optional<std::string> CZJsonWriter::stringWithObjectError(const platform::Value& value,
                                                               platform::Error* error) {
  auto result = stringWithObject(value);
  if (!result && error) {
    platform::Dictionary info;
    info.set(platform::kLocalizedDescriptionKey, platform::Value(this->error()));
    *error = platform::Error{kErrorDomain, 0, platform::Value(std::move(info))};
  }
  return result;
}

std::optional<std::string> JSONRepresentation(const platform::Value& value) {
  CZJsonWriter writer;
  return writer.stringWithObject(value);
}

}  // namespace cadenzo
