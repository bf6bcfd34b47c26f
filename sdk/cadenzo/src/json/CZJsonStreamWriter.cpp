#include "CZJsonStreamWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>

#include "CZJsonStreamWriterState.h"
#include "platform/format.h"
#include "platform/keyed_hash.h"

namespace cadenzo {

namespace {

// The process-wide cache of escaped strings. It forgets everything once it holds more than
// its budget, which is what a memory-pressure-evicting cache does at worst. Its keys are
// strings that came from servers too, hence the keyed hash.
class EscapedStringCache {
 public:
  static EscapedStringCache& shared() {
    static EscapedStringCache* cache = new EscapedStringCache();  // lives for the process
    return *cache;
  }
  bool find(std::string_view key, std::string* out) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = map_.find(key);
    if (it == map_.end()) return false;
    *out = it->second;
    return true;
  }
  void store(std::string_view key, const std::string& escaped) {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t cost = key.size() + escaped.size() + 64;
    if (cost > kBudget) return;
    if (bytes_ + cost > kBudget) {
      map_.clear();
      bytes_ = 0;
    }
    if (map_.emplace(std::string(key), escaped).second) bytes_ += cost;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    map_.clear();
    bytes_ = 0;
  }

 private:
  static constexpr size_t kBudget = 4 << 20;
  std::mutex mutex_;
  platform::KeyedTextMap<std::string> map_;
  size_t bytes_ = 0;
};

// The quoted, escaped bytes of a string. The 1.1 × length size is only where the buffer
// starts: escapes may grow the text up to six times, and the buffer grows with them.
std::string buildEscaped(std::string_view s) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(static_cast<size_t>(static_cast<double>(s.size()) * 1.1) + 2);
  out.push_back('"');
  for (char c : s) {
    unsigned char b = static_cast<unsigned char>(c);
    switch (b) {
      case '"': out.append("\\\""); break;
      case '\\': out.append("\\\\"); break;
      case 8: out.append("\\b"); break;
      case 9: out.append("\\t"); break;
      case 10: out.append("\\n"); break;
      case 12: out.append("\\f"); break;
      case 13: out.append("\\r"); break;
      default:
        if (b < 0x20) {
          out.append("\\u00");
          out.push_back(kHex[b >> 4]);
          out.push_back(kHex[b & 0xF]);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
  return out;
}

// A decimal's text goes into the output as it is, so it must be a JSON number and nothing
// else: text that is not would break (or inject into) the document.
bool isJSONNumberText(std::string_view t) {
  size_t i = 0, n = t.size();
  auto digits = [&] {
    size_t s = i;
    while (i < n && t[i] >= '0' && t[i] <= '9') ++i;
    return i > s;
  };
  if (i < n && t[i] == '-') ++i;
  if (i < n && t[i] == '0') {
    ++i;
  } else if (!digits()) {
    return false;
  }
  if (i < n && t[i] == '.') {
    ++i;
    if (!digits()) return false;
  }
  if (i < n && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == n;
}

const char* className(const platform::Value& v) {
  switch (v.type()) {
    case platform::Value::Type::Data: return "NSConcreteData";
    case platform::Value::Type::Date: return "__NSDate";
    default: return "NSObject";
  }
}

}  // namespace

CZJsonStreamWriter::CZJsonStreamWriter() : state_(&CZJsonStreamWriterStateStart::sharedInstance()) {
  stateStack_.reserve(maxDepth_);
}

std::string CZJsonStreamWriter::escapedString(std::string_view string) {
  std::string escaped;
  auto& cache = EscapedStringCache::shared();
  if (cache.find(string, &escaped)) return escaped;
  escaped = buildEscaped(string);
  cache.store(string, escaped);
  return escaped;
}

void CZJsonStreamWriter::clearStringCache() { EscapedStringCache::shared().clear(); }

void CZJsonStreamWriter::appendBytesLength(const void* bytes, size_t length) {
  if (auto d = delegate_.lock()) {
    d->writerAppendBytesLength(*this, static_cast<const uint8_t*>(bytes), length);
  }
}

bool CZJsonStreamWriter::prepareValue(bool checkKey) {
  if (state_->isInvalidState(*this)) return false;
  if (checkKey && state_->expectingKey(*this)) return false;
  state_->appendSeparator(*this);
  if (humanReadable_) state_->appendWhitespace(*this);
  return true;
}

bool CZJsonStreamWriter::writeObjectOpen() {
  if (state_->isInvalidState(*this)) return false;
  if (state_->expectingKey(*this)) return false;
  state_->appendSeparator(*this);
  if (humanReadable_ && !stateStack_.empty()) state_->appendWhitespace(*this);
  stateStack_.push_back(state_);
  state_ = &CZJsonStreamWriterStateObjectStart::sharedInstance();
  if (maxDepth_ && stateStack_.size() > maxDepth_) {
    error_ = "Nested too deep";
    return false;
  }
  appendBytesLength("{", 1);
  return true;
}

bool CZJsonStreamWriter::writeArrayOpen() {
  if (state_->isInvalidState(*this)) return false;
  if (state_->expectingKey(*this)) return false;
  state_->appendSeparator(*this);
  if (humanReadable_ && !stateStack_.empty()) state_->appendWhitespace(*this);
  stateStack_.push_back(state_);
  state_ = &CZJsonStreamWriterStateArrayStart::sharedInstance();
  if (maxDepth_ && stateStack_.size() > maxDepth_) {
    error_ = "Nested too deep";
    return false;
  }
  appendBytesLength("[", 1);
  return true;
}

bool CZJsonStreamWriter::closeContainer(const char* bracket, bool checkKey) {
  if (state_->isInvalidState(*this)) return false;
  if (checkKey && state_->expectingKey(*this)) return false;
  if (stateStack_.empty()) {
    // Nothing is open: closing would write a stray bracket.
    error_ = "Nothing to close";
    return false;
  }
  const CZJsonStreamWriterState* inner = state_;
  state_ = stateStack_.back();
  stateStack_.pop_back();
  if (humanReadable_) inner->appendWhitespace(*this);
  appendBytesLength(bracket, 1);
  state_->transitionState(*this);
  return true;
}

bool CZJsonStreamWriter::writeObjectClose() { return closeContainer("}", false); }

bool CZJsonStreamWriter::writeArrayClose() { return closeContainer("]", true); }

bool CZJsonStreamWriter::writeObject(const platform::Dictionary& dict) { return writeContainer(nullptr, &dict); }

bool CZJsonStreamWriter::writeArray(const platform::Array& array) { return writeContainer(&array, nullptr); }

bool CZJsonStreamWriter::writeContainer(const platform::Array* array, const platform::Dictionary* dictionary) {
  // The containers open around the member being written, rather than a stack frame per
  // level: without a depth limit, a value nested hundreds of thousands deep is written like
  // any other. A dictionary's entries, in the order written, lie in `entries` from entriesAt.
  struct Open {
    const platform::Value* items;
    size_t entriesAt;
    size_t count;
    size_t next;
    bool isDictionary;
  };
  std::vector<Open> open;
  std::vector<const platform::Dictionary::Entry*> entries;
  auto enter = [&](const platform::Array* a, const platform::Dictionary* d) {
    if (a) {
      if (!writeArrayOpen()) return false;
      open.push_back({a->begin(), 0, a->size(), 0, false});
      return true;
    }
    if (!writeObjectOpen()) return false;
    const size_t at = entries.size();
    for (const auto& e : *d) entries.push_back(&e);
    if (sortKeys_)
      std::sort(entries.begin() + static_cast<std::ptrdiff_t>(at), entries.end(),
                [](const auto* x, const auto* y) { return x->key() < y->key(); });
    open.push_back({nullptr, at, d->size(), 0, true});
    return true;
  };
  if (!enter(array, dictionary)) return false;
  while (!open.empty()) {
    Open& container = open.back();
    if (container.next == container.count) {
      const bool isDictionary = container.isDictionary;
      if (isDictionary) entries.resize(container.entriesAt);
      open.pop_back();
      if (!(isDictionary ? writeObjectClose() : writeArrayClose())) return false;
      continue;
    }
    const platform::Value* member;
    if (container.isDictionary) {
      const platform::Dictionary::Entry* e = entries[container.entriesAt + container.next];
      if (!writeString(e->key())) return false;
      member = &e->second;
    } else {
      member = container.items + container.next;
    }
    ++container.next;
    const bool written = member->isArray()        ? enter(&member->array(), nullptr)
                         : member->isDictionary() ? enter(nullptr, &member->dictionary())
                                                  : writeValue(*member);
    if (!written) return false;
  }
  return true;
}

bool CZJsonStreamWriter::writeNull() {
  if (!prepareValue(true)) return false;
  appendBytesLength("null", 4);
  state_->transitionState(*this);
  return true;
}

bool CZJsonStreamWriter::writeBool(bool x) {
  if (!prepareValue(true)) return false;
  if (x) {
    appendBytesLength("true", 4);
  } else {
    appendBytesLength("false", 5);
  }
  state_->transitionState(*this);
  return true;
}

bool CZJsonStreamWriter::writeString(std::string_view string) {
  if (!prepareValue(false)) return false;
  std::string escaped = escapedString(string);
  appendBytesLength(escaped.data(), escaped.size());
  state_->transitionState(*this);
  return true;
}

bool CZJsonStreamWriter::writeNumber(const platform::Value& number) {
  using Type = platform::Value::Type;
  if (number.isBoolean()) return writeBool(number.boolValue());
  if (!prepareValue(true)) return false;
  char buffer[64];
  std::string_view text;
  switch (number.type()) {
    case Type::Integer: {
      auto r = std::to_chars(buffer, buffer + sizeof buffer, number.integerValue());
      text = std::string_view(buffer, static_cast<size_t>(r.ptr - buffer));
      break;
    }
    case Type::Unsigned: {
      auto r = std::to_chars(buffer, buffer + sizeof buffer, number.unsignedValue());
      text = std::string_view(buffer, static_cast<size_t>(r.ptr - buffer));
      break;
    }
    case Type::Double: {
      double d = number.doubleValue();
      if (std::isinf(d)) {
        error_ = d > 0 ? "+Infinity is not a valid number in JSON"
                       : "-Infinity is not a valid number in JSON";
        return false;
      }
      if (std::isnan(d)) {
        error_ = "NaN is not a valid number in JSON";
        return false;
      }
      // Locale-independent "%.17g".
      auto r = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::general, 17);
      text = std::string_view(buffer, static_cast<size_t>(r.ptr - buffer));
      break;
    }
    case Type::Decimal:
      text = number.decimalText();
      if (!isJSONNumberText(text)) {
        error_ = "NaN is not a valid number in JSON";
        return false;
      }
      break;
    default:
      error_ = platform::format("JSON serialisation not supported for %@", className(number));
      return false;
  }
  appendBytesLength(text.data(), text.size());
  state_->transitionState(*this);
  return true;
}

bool CZJsonStreamWriter::writeValue(const platform::Value& value) {
  using Type = platform::Value::Type;
  switch (value.type()) {
    case Type::Dictionary: return writeContainer(nullptr, &value.dictionary());
    case Type::Array: return writeContainer(&value.array(), nullptr);
    case Type::String: return writeString(value.string());
    case Type::Null: return writeNull();
    case Type::Boolean:
    case Type::Integer:
    case Type::Unsigned:
    case Type::Double:
    case Type::Decimal: return writeNumber(value);
    default:
      error_ = platform::format("JSON serialisation not supported for %@", className(value));
      return false;
  }
}

}  // namespace cadenzo
