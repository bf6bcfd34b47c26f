#include "value_codec.h"

#include <cstring>
#include <string_view>

namespace platform::storage {
namespace {

constexpr std::string_view kMagic = "ADCVAL1\n";
constexpr int kMaxDepth = 64;

void putU64(Bytes& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putU32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putText(Bytes& out, std::string_view text) {
  putU32(out, static_cast<uint32_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

uint64_t doubleBits(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

void encode(Bytes& out, const Value& v) {
  switch (v.type()) {
    case Value::Type::Null: out.push_back('n'); break;
    case Value::Type::Boolean:
      out.push_back('b');
      out.push_back(v.boolValue() ? 1 : 0);
      break;
    case Value::Type::Integer:
      out.push_back('i');
      putU64(out, static_cast<uint64_t>(v.integerValue()));
      break;
    case Value::Type::Unsigned:
      out.push_back('u');
      putU64(out, v.unsignedValue());
      break;
    case Value::Type::Double:
      out.push_back('d');
      putU64(out, doubleBits(v.doubleValue()));
      break;
    case Value::Type::Decimal:
      out.push_back('m');
      putText(out, v.decimalText());
      break;
    case Value::Type::String:
      out.push_back('s');
      putText(out, v.string());
      break;
    case Value::Type::Data:
      out.push_back('x');
      putU32(out, static_cast<uint32_t>(v.data().size()));
      out.insert(out.end(), v.data().begin(), v.data().end());
      break;
    case Value::Type::Date:
      out.push_back('t');
      putU64(out, doubleBits(v.dateValue()));
      break;
    case Value::Type::Array:
      out.push_back('a');
      putU32(out, static_cast<uint32_t>(v.array().size()));
      for (const Value& item : v.array()) encode(out, item);
      break;
    case Value::Type::Dictionary:
      out.push_back('o');
      putU32(out, static_cast<uint32_t>(v.dictionary().size()));
      for (const auto& [key, item] : v.dictionary()) {
        putText(out, key);
        encode(out, item);
      }
      break;
  }
}

class Reader {
 public:
  explicit Reader(const Bytes& b) : data_(b) {}

  bool done() const { return at_ == data_.size(); }

  bool expect(std::string_view text) {
    if (data_.size() - at_ < text.size()) return false;
    if (std::memcmp(data_.data() + at_, text.data(), text.size()) != 0) return false;
    at_ += text.size();
    return true;
  }

  std::optional<uint64_t> u64() {
    if (data_.size() - at_ < 8) return std::nullopt;
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= uint64_t(data_[at_ + i]) << (8 * i);
    at_ += 8;
    return v;
  }

  std::optional<uint32_t> u32() {
    if (data_.size() - at_ < 4) return std::nullopt;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(data_[at_ + i]) << (8 * i);
    at_ += 4;
    return v;
  }

  std::optional<std::string> text() {
    auto n = u32();
    if (!n || data_.size() - at_ < *n) return std::nullopt;
    std::string s(data_.begin() + at_, data_.begin() + at_ + *n);
    at_ += *n;
    return s;
  }

  std::optional<double> f64() {
    auto bits = u64();
    if (!bits) return std::nullopt;
    double d;
    std::memcpy(&d, &*bits, sizeof d);
    return d;
  }

  std::optional<Value> value(int depth) {
    if (depth > kMaxDepth || at_ >= data_.size()) return std::nullopt;
    char tag = static_cast<char>(data_[at_++]);
    switch (tag) {
      case 'n': return Value();
      case 'b':
        if (at_ >= data_.size() || data_[at_] > 1) return std::nullopt;
        return Value(data_[at_++] == 1);
      case 'i': {
        auto v = u64();
        if (!v) return std::nullopt;
        return Value(static_cast<long long>(*v));
      }
      case 'u': {
        auto v = u64();
        if (!v) return std::nullopt;
        return Value(static_cast<unsigned long long>(*v));
      }
      case 'd': {
        auto v = f64();
        if (!v) return std::nullopt;
        return Value(*v);
      }
      case 't': {
        auto v = f64();
        if (!v) return std::nullopt;
        return Value::date(*v);
      }
      case 'm': {
        auto s = text();
        if (!s) return std::nullopt;
        return Value::decimal(std::move(*s));
      }
      case 's': {
        auto s = text();
        if (!s) return std::nullopt;
        return Value(std::move(*s));
      }
      case 'x': {
        auto s = text();
        if (!s) return std::nullopt;
        return Value(Bytes(s->begin(), s->end()));
      }
      case 'a': {
        auto n = u32();
        // Every element takes at least one byte, which bounds what a lying count can reserve.
        if (!n || *n > data_.size() - at_) return std::nullopt;
        Array items;
        items.reserve(*n);
        for (uint32_t i = 0; i < *n; ++i) {
          auto item = value(depth + 1);
          if (!item) return std::nullopt;
          items.push_back(std::move(*item));
        }
        return Value(std::move(items));
      }
      case 'o': {
        auto n = u32();
        if (!n || *n > data_.size() - at_) return std::nullopt;
        Dictionary dict;
        for (uint32_t i = 0; i < *n; ++i) {
          auto key = text();
          if (!key) return std::nullopt;
          auto item = value(depth + 1);
          if (!item) return std::nullopt;
          dict.set(std::move(*key), std::move(*item));
        }
        return Value(std::move(dict));
      }
      default: return std::nullopt;
    }
  }

 private:
  const Bytes& data_;
  size_t at_ = 0;
};

}  // namespace

Bytes encodeValue(const Value& value) {
  Bytes out(kMagic.begin(), kMagic.end());
  encode(out, value);
  return out;
}

std::optional<Value> decodeValue(const Bytes& bytes) {
  Reader reader(bytes);
  if (!reader.expect(kMagic)) return std::nullopt;
  auto value = reader.value(0);
  if (!value || !reader.done()) return std::nullopt;
  return value;
}

}  // namespace platform::storage
