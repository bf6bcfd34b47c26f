#include "platform/value.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace platform {

// Dictionary

namespace {
constexpr size_t kIndexThreshold = 12;
const std::string kEmptyString;
const Bytes kEmptyBytes;
const Array kEmptyArray;
const Dictionary kEmptyDictionary;
}  // namespace

Dictionary::Dictionary(std::initializer_list<Entry> entries) {
  for (const auto& e : entries) set(e.first, e.second);
}

namespace {
size_t keyHash(std::string_view key) { return std::hash<std::string_view>()(key); }
}  // namespace

namespace {
// Slots of the index of `count` entries: at least twice as many, a power of two.
size_t indexSlots(size_t count) {
  size_t slots = 32;
  while (slots < count * 2) slots *= 2;
  return slots;
}
}  // namespace

Dictionary::Dictionary(const Dictionary& other) : entries_(other.entries_) {
  if (other.index_) {
    const size_t slots = indexSlots(entries_.size());
    index_ = std::make_unique<uint32_t[]>(slots);
    std::copy(other.index_.get(), other.index_.get() + slots, index_.get());
  }
}

Dictionary& Dictionary::operator=(const Dictionary& other) {
  if (this != &other) *this = Dictionary(other);
  return *this;
}

Dictionary::Dictionary(std::vector<Entry>&& entries) : entries_(std::move(entries)) {
  bool unique = true;
  if (entries_.size() < kIndexThreshold) {
    // One bit per class of length and last byte among the keys before: a key whose class is
    // new cannot repeat one of them, and is not compared.
    uint64_t classes = 0;
    for (size_t i = 0; i < entries_.size() && unique; ++i) {
      const std::string& key = entries_[i].first;
      const unsigned last = key.empty() ? 0 : static_cast<unsigned char>(key.back());
      const uint64_t bit = uint64_t{1} << ((key.size() * 7 + last) & 63);
      if (classes & bit)
        for (size_t j = 0; j < i && unique; ++j) unique = entries_[j].first != key;
      classes |= bit;
    }
  } else {
    // Builds the index and meets a repeated key while probing for it.
    const size_t mask = indexSlots(entries_.size()) - 1;
    index_ = std::make_unique<uint32_t[]>(mask + 1);
    for (size_t i = 0; i < entries_.size() && unique; ++i) {
      size_t slot = keyHash(entries_[i].first) & mask;
      for (; index_[slot] != 0; slot = (slot + 1) & mask) {
        if (entries_[index_[slot] - 1].first == entries_[i].first) {
          unique = false;
          break;
        }
      }
      index_[slot] = static_cast<uint32_t>(i + 1);
    }
  }
  if (unique) return;
  std::vector<Entry> given = std::move(entries_);
  entries_.clear();
  index_.reset();
  entries_.reserve(given.size());
  for (auto& e : given) set(std::move(e.first), std::move(e.second));
}

long Dictionary::indexOf(std::string_view key) const {
  if (!index_) {
    for (size_t i = 0; i < entries_.size(); ++i)
      if (entries_[i].first == key) return static_cast<long>(i);
    return -1;
  }
  const size_t mask = indexSlots(entries_.size()) - 1;
  for (size_t slot = keyHash(key) & mask;; slot = (slot + 1) & mask) {
    uint32_t p = index_[slot];
    if (p == 0) return -1;
    if (entries_[p - 1].first == key) return static_cast<long>(p - 1);
  }
}

void Dictionary::indexInsert(size_t position) {
  const size_t mask = indexSlots(entries_.size()) - 1;
  size_t slot = keyHash(entries_[position].first) & mask;
  while (index_[slot] != 0) slot = (slot + 1) & mask;
  index_[slot] = static_cast<uint32_t>(position + 1);
}

void Dictionary::rebuildIndex() {
  index_.reset();
  if (entries_.size() < kIndexThreshold) return;
  index_ = std::make_unique<uint32_t[]>(indexSlots(entries_.size()));
  for (size_t i = 0; i < entries_.size(); ++i) indexInsert(i);
}

const Value* Dictionary::find(std::string_view key) const {
  long i = indexOf(key);
  return i < 0 ? nullptr : &entries_[i].second;
}

Value* Dictionary::find(std::string_view key) {
  long i = indexOf(key);
  return i < 0 ? nullptr : &entries_[i].second;
}

const Value& Dictionary::get(std::string_view key) const {
  const Value* v = find(key);
  return v ? *v : Value::null();
}

void Dictionary::set(std::string key, Value value) {
  long i = indexOf(key);
  if (i >= 0) {
    entries_[i].second = std::move(value);
    return;
  }
  const size_t slotsBefore = indexSlots(entries_.size());
  entries_.emplace_back(std::move(key), std::move(value));
  // The table keeps its slots while it holds twice the entries; past that it grows.
  if (index_ && indexSlots(entries_.size()) == slotsBefore) {
    indexInsert(entries_.size() - 1);
  } else if (entries_.size() >= kIndexThreshold) {
    rebuildIndex();
  }
}

bool Dictionary::erase(std::string_view key) {
  long i = indexOf(key);
  if (i < 0) return false;
  entries_.erase(entries_.begin() + i);
  rebuildIndex();
  return true;
}

void Dictionary::clear() {
  entries_.clear();
  index_.reset();
}

std::vector<std::string> Dictionary::keys() const {
  std::vector<std::string> k;
  k.reserve(entries_.size());
  for (const auto& e : entries_) k.push_back(e.first);
  return k;
}

bool Dictionary::operator==(const Dictionary& other) const {
  if (size() != other.size()) return false;
  for (const auto& [k, v] : entries_) {
    const Value* o = other.find(k);
    if (!o || !(*o == v)) return false;
  }
  return true;
}

// Value

Value::Value(const Value& other) : bits_(0) {
  // Built level by level from a work list: a recursive copy would take a stack frame per level.
  std::vector<std::pair<Value*, const Value*>> work{{this, &other}};
  while (!work.empty()) {
    auto [to, from] = work.back();
    work.pop_back();
    if (from->isArray()) {
      const Array& source = from->array_;
      to->type_ = Type::Array;
      Array& copy = *new (&to->array_) Array(source.size());
      for (size_t i = 0; i < source.size(); ++i) work.emplace_back(&copy[i], &source[i]);
    } else if (from->isDictionary()) {
      const Dictionary& source = from->dictionary_;
      std::vector<Dictionary::Entry> entries;
      entries.reserve(source.size());
      for (const auto& entry : source) entries.emplace_back(entry.first, Value());
      to->type_ = Type::Dictionary;
      Dictionary& copy = *new (&to->dictionary_) Dictionary(std::move(entries));
      auto sourceEntry = source.begin();
      for (auto& entry : copy) work.emplace_back(&entry.second, &(sourceEntry++)->second);
    } else {
      to->copyShallowFrom(*from);
    }
  }
}

void Value::copyShallowFrom(const Value& other) {
  switch (other.type_) {
    case Type::Decimal: new (&decimal_) Decimal(other.decimal_); break;
    case Type::String: new (&string_) std::string(other.string_); break;
    case Type::Data: new (&bytes_) Bytes(other.bytes_); break;
    case Type::Array: new (&array_) Array(other.array_); break;
    case Type::Dictionary: new (&dictionary_) Dictionary(other.dictionary_); break;
    default: bits_ = other.bits_;
  }
  type_ = other.type_;
}

Value& Value::operator=(const Value& other) {
  if (this != &other) *this = Value(other);
  return *this;
}

Value& Value::operator=(Value&& other) noexcept {
  if (this == &other) return *this;
  // `other` may live inside this value: the old content is set aside whole, and released
  // (without recursion) only once `other` has been moved out of it.
  Value old;
  if (holdsResources(type_)) {
    old.type_ = type_;
    old.moveResourcesFrom(*this);
    destroy();
  }
  type_ = other.type_;
  moveResourcesFrom(other);
  return *this;
}

void Value::destroy() noexcept {
  switch (type_) {
    case Type::Decimal: decimal_.~Decimal(); break;
    case Type::String: string_.~basic_string(); break;
    case Type::Data: bytes_.~Bytes(); break;
    case Type::Array:
    case Type::Dictionary:
      if (hasChildren()) {
        // The levels of an ordinary tree are released by recursion; past a bounded depth the
        // containers left are detached into a work list and released from there, so
        // destruction never takes a stack frame per level of a deeply nested value.
        std::vector<Value> deeper;
        releaseChildren(0, deeper);
        while (!deeper.empty()) {
          Value value = std::move(deeper.back());
          deeper.pop_back();
          value.releaseChildren(0, deeper);
        }
      }
      if (type_ == Type::Array) array_.~Array();
      else dictionary_.~Dictionary();
      break;
    default: break;
  }
  type_ = Type::Null;
  bits_ = 0;
}

namespace {
// Levels released by recursion before the rest goes to the work list.
constexpr int kRecursiveLevels = 48;
}  // namespace

void Value::releaseChildren(int level, std::vector<Value>& deeper) {
  // Each child is released where it stands, so the container's own clearing finds only
  // values with nothing left to release.
  auto release = [&](Value& child) {
    if (!holdsResources(child.type_)) return;
    if (child.hasChildren()) {
      if (level >= kRecursiveLevels) {
        deeper.push_back(std::move(child));
        return;
      }
      child.releaseChildren(level + 1, deeper);
    }
    child.destroy();
  };
  if (type_ == Type::Array) {
    for (Value& child : array_) release(child);
    array_.clear();
  } else if (type_ == Type::Dictionary) {
    for (auto& entry : dictionary_) release(entry.second);
    dictionary_.clear();
  }
}

bool Value::hasChildren() const {
  if (type_ == Type::Array) return !array_.empty();
  if (type_ == Type::Dictionary) return !dictionary_.empty();
  return false;
}

Value::Value(Array a) noexcept : array_(std::move(a)), type_(Type::Array) {}
Value::Value(Dictionary d) noexcept : dictionary_(std::move(d)), type_(Type::Dictionary) {}

const Value& Value::null() {
  static const Value n;
  return n;
}

bool Value::isNumber() const {
  switch (type()) {
    case Type::Integer:
    case Type::Unsigned:
    case Type::Double:
    case Type::Decimal:
      return true;
    default:
      return false;
  }
}

namespace {
double leadingDouble(const std::string& s) { return std::strtod(s.c_str(), nullptr); }
int64_t leadingInteger(const std::string& s) {
  // Reads the leading decimal integer and saturates on overflow, as the original platform does.
  errno = 0;
  long long v = std::strtoll(s.c_str(), nullptr, 10);
  return static_cast<int64_t>(v);
}
std::string numberText(double d) {
  if (std::isnan(d)) return "nan";
  if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  // Prefer the shortest text that reads back to the same double, written without an exponent
  // while the number has at most 17 digits before the point (60, not 6e+01).
  for (int prec = 1; prec <= 17; ++prec) {
    char shortBuf[40];
    std::snprintf(shortBuf, sizeof shortBuf, "%.*g", prec, d);
    if (std::strtod(shortBuf, nullptr) != d) continue;
    const int exponent = d == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(d))));
    if (exponent >= prec && exponent < 17)
      std::snprintf(shortBuf, sizeof shortBuf, "%.*g", exponent + 1, d);
    return shortBuf;
  }
  return buf;
}
}  // namespace

bool Value::boolValue() const {
  switch (type()) {
    case Type::Boolean: return (bits_ != 0);
    case Type::String: {
      // "Y", "y", "T", "t" or a non-zero leading digit mean YES.
      const auto& s = string_;
      size_t i = s.find_first_not_of(" \t\n");
      if (i == std::string::npos) return false;
      char c = s[i];
      if (c == 'Y' || c == 'y' || c == 'T' || c == 't') return true;
      if (c == '+' || c == '-') ++i;
      while (i < s.size() && s[i] == '0') ++i;
      return i < s.size() && s[i] >= '1' && s[i] <= '9';
    }
    default: return integerValue() != 0 || doubleValue() != 0;
  }
}

int64_t Value::integerValue() const {
  switch (type()) {
    case Type::Boolean: return (bits_ != 0) ? 1 : 0;
    case Type::Integer: return static_cast<int64_t>(bits_);
    case Type::Unsigned: return static_cast<int64_t>(bits_);
    case Type::Double: {
      double d = std::bit_cast<double>(bits_);
      if (std::isnan(d)) return 0;
      if (d >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
      if (d <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
      return static_cast<int64_t>(d);
    }
    case Type::Decimal: return Value(doubleValue()).integerValue();
    case Type::String: return leadingInteger(string_);
    default: return 0;
  }
}

uint64_t Value::unsignedValue() const {
  switch (type()) {
    case Type::Unsigned: return bits_;
    case Type::String: return std::strtoull(string_.c_str(), nullptr, 10);
    case Type::Double: {
      double d = std::bit_cast<double>(bits_);
      if (!(d > 0)) return static_cast<uint64_t>(integerValue());
      if (d >= 1.8446744073709552e19) return std::numeric_limits<uint64_t>::max();
      return static_cast<uint64_t>(d);
    }
    // Through the unsigned range, not the signed one: "1e19" is not INT64_MAX.
    case Type::Decimal: return Value(doubleValue()).unsignedValue();
    default: return static_cast<uint64_t>(integerValue());
  }
}

double Value::doubleValue() const {
  switch (type()) {
    case Type::Boolean: return (bits_ != 0) ? 1 : 0;
    case Type::Integer: return static_cast<double>(static_cast<int64_t>(bits_));
    case Type::Unsigned: return static_cast<double>(bits_);
    case Type::Double: return std::bit_cast<double>(bits_);
    case Type::Decimal: {
      const auto& t = decimal_.text;
      if (t == "NaN") return std::nan("");
      return leadingDouble(t);
    }
    case Type::String: return leadingDouble(string_);
    case Type::Date: return std::bit_cast<double>(bits_);
    default: return 0;
  }
}

std::string Value::stringValue() const {
  switch (type()) {
    case Type::String: return string_;
    case Type::Boolean: return (bits_ != 0) ? "1" : "0";
    case Type::Integer: return std::to_string(static_cast<int64_t>(bits_));
    case Type::Unsigned: return std::to_string(bits_);
    case Type::Double: return numberText(std::bit_cast<double>(bits_));
    case Type::Decimal: return decimal_.text;
    default: return "";
  }
}

namespace {
bool needsQuotes(const std::string& s) {
  if (s.empty()) return true;
  for (unsigned char c : s)
    if (!(std::isalnum(c) || c == '_' || c == '.' || c == '$' || c == '/' || c == ':' || c >= 0x80)) return true;
  return false;
}
std::string quoted(const std::string& s) {
  if (!needsQuotes(s)) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}
void describe(const Value& v, int indent, std::string& out) {
  if (indent >= Value::kDescribedLevels && (v.isArray() || v.isDictionary())) {
    out += v.isArray() ? "(...)" : "{...}";
    return;
  }
  std::string pad(static_cast<size_t>(indent) * 4, ' ');
  std::string inner(static_cast<size_t>(indent + 1) * 4, ' ');
  switch (v.type()) {
    case Value::Type::Array: {
      out += "(\n";
      const auto& a = v.array();
      for (size_t i = 0; i < a.size(); ++i) {
        out += inner;
        if (a[i].isString()) out += quoted(a[i].string());
        else describe(a[i], indent + 1, out);
        out += i + 1 < a.size() ? ",\n" : "\n";
      }
      out += pad + ")";
      break;
    }
    case Value::Type::Dictionary: {
      out += "{\n";
      for (const auto& [k, val] : v.dictionary()) {
        out += inner + quoted(k) + " = ";
        if (val.isString()) out += quoted(val.string());
        else describe(val, indent + 1, out);
        out += ";\n";
      }
      out += pad + "}";
      break;
    }
    case Value::Type::Data: {
      static const char* hex = "0123456789abcdef";
      out += "<";
      const auto& d = v.data();
      for (size_t i = 0; i < d.size(); ++i) {
        if (i && i % 4 == 0) out += ' ';
        out += hex[d[i] >> 4];
        out += hex[d[i] & 15];
      }
      out += ">";
      break;
    }
    case Value::Type::Date: {
      // A date the calendar cannot show (not a number, or beyond the years gmtime_r can
      // break down) is described by its seconds since 1970.
      const double seconds = std::floor(v.dateValue());
      struct tm tm;
      time_t secs = 0;
      const bool inRange = seconds > -1e16 && seconds < 1e16;
      if (inRange) secs = static_cast<time_t>(seconds);
      char buf[64];
      if (!inRange || !gmtime_r(&secs, &tm) || strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S +0000", &tm) == 0) {
        out += numberText(v.dateValue());
        break;
      }
      out += buf;
      break;
    }
    case Value::Type::Null: out += "(null)"; break;
    default: out += v.stringValue();
  }
}
}  // namespace

std::string Value::description() const {
  std::string out;
  describe(*this, 0, out);
  return out;
}

const std::string& Value::string() const {
  return isString() ? string_ : kEmptyString;
}
const Bytes& Value::data() const { return isData() ? bytes_ : kEmptyBytes; }
const Array& Value::array() const { return isArray() ? array_ : kEmptyArray; }
const Dictionary& Value::dictionary() const {
  return isDictionary() ? dictionary_ : kEmptyDictionary;
}
double Value::dateValue() const { return isDate() ? std::bit_cast<double>(bits_) : 0; }
const std::string& Value::decimalText() const {
  return type() == Type::Decimal ? decimal_.text : kEmptyString;
}

Array& Value::mutableArray() {
  if (!isArray()) *this = Value(Array());
  return array_;
}

Dictionary& Value::mutableDictionary() {
  if (!isDictionary()) *this = Value(Dictionary());
  return dictionary_;
}

const Value& Value::operator[](std::string_view key) const { return dictionary().get(key); }

const Value& Value::operator[](size_t index) const {
  const auto& a = array();
  return index < a.size() ? a[index] : null();
}

size_t Value::size() const {
  switch (type()) {
    case Type::Array: return array().size();
    case Type::Dictionary: return dictionary().size();
    case Type::String: return string().size();
    case Type::Data: return data().size();
    default: return 0;
  }
}

namespace {
// An integer against a double, exactly: past 2^53 a double no longer tells neighbouring
// integers apart, so converting the integer would call different numbers equal.
bool sameNumber(const Value& integer, double d) {
  if (!(d == std::trunc(d))) return false;  // a fraction, NaN or an infinity
  if (integer.type() == Value::Type::Integer) {
    if (d < -9.2233720368547758e18 || d >= 9.2233720368547758e18) return false;
    return static_cast<int64_t>(d) == integer.integerValue();
  }
  if (d < 0 || d >= 1.8446744073709552e19) return false;
  return static_cast<uint64_t>(d) == integer.unsignedValue();
}
}  // namespace

bool Value::operator==(const Value& other) const {
  if (!hasChildren() || !other.hasChildren()) return shallowEqual(other);
  // Compared level by level from a work list, like the copy.
  std::vector<std::pair<const Value*, const Value*>> work{{this, &other}};
  while (!work.empty()) {
    auto [a, b] = work.back();
    work.pop_back();
    if (!a->shallowEqual(*b)) return false;
    if (a->isArray()) {
      const Array& left = a->array();
      const Array& right = b->array();
      for (size_t i = 0; i < left.size(); ++i) work.emplace_back(&left[i], &right[i]);
    } else if (a->isDictionary()) {
      const Dictionary& right = b->dictionary();
      for (const auto& [key, value] : a->dictionary()) {
        const Value* match = right.find(key);
        if (!match) return false;
        work.emplace_back(&value, match);
      }
    }
  }
  return true;
}

bool Value::shallowEqual(const Value& other) const {
  if (isNumber() && other.isNumber() && type() != other.type()) {
    // Numbers of different kinds compare by value, as number objects do.
    if (type() == Type::Decimal || other.type() == Type::Decimal)
      return doubleValue() == other.doubleValue();
    if (type() == Type::Double) return sameNumber(other, std::bit_cast<double>(bits_));
    if (other.type() == Type::Double) return sameNumber(*this, std::bit_cast<double>(other.bits_));
    int64_t a = integerValue(), b = other.integerValue();
    if ((type() == Type::Unsigned && unsignedValue() > uint64_t(INT64_MAX)) ||
        (other.type() == Type::Unsigned && other.unsignedValue() > uint64_t(INT64_MAX)))
      return unsignedValue() == other.unsignedValue() && a >= 0 && b >= 0;
    return a == b;
  }
  if (type() != other.type()) return false;
  switch (type()) {
    case Type::Null: return true;
    case Type::Boolean: return (bits_ != 0) == (other.bits_ != 0);
    case Type::Integer: return static_cast<int64_t>(bits_) == static_cast<int64_t>(other.bits_);
    case Type::Unsigned: return bits_ == other.bits_;
    case Type::Double: {
      double a = std::bit_cast<double>(bits_), b = std::bit_cast<double>(other.bits_);
      return a == b || (std::isnan(a) && std::isnan(b));
    }
    case Type::Decimal: return decimal_ == other.decimal_;
    case Type::String: return string() == other.string();
    case Type::Data: return data() == other.data();
    case Type::Date: return dateValue() == other.dateValue();
    case Type::Array: return array().size() == other.array().size();
    case Type::Dictionary: return dictionary().size() == other.dictionary().size();
  }
  return false;
}

}  // namespace platform
