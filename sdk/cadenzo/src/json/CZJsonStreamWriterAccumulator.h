#pragma once
// Collects every byte run a CZJsonStreamWriter hands it. Not thread-safe: it follows its
// writer.
#include <cstddef>
#include <cstdint>

#include "CZJsonStreamWriter.h"
#include "platform/value.h"

namespace cadenzo {

class CZJsonStreamWriterAccumulator : public CZJsonStreamWriterDelegate {
 public:
  CZJsonStreamWriterAccumulator() { data_.reserve(8096); }
  void writerAppendBytesLength(CZJsonStreamWriter&, const uint8_t* bytes, size_t length) override {
    data_.insert(data_.end(), bytes, bytes + length);
  }
  const platform::Bytes& data() const { return data_; }
  platform::Bytes takeData() { return std::move(data_); }

 private:
  platform::Bytes data_;
};

}  // namespace cadenzo
