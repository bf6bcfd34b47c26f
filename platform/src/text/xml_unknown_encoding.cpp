#include "xml_unknown_encoding.h"

#include <unicode/ucnv.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace platform {
namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// A converter for ICU's name of an encoding that stops at anything it cannot convert (rather
// than putting a substitute in its place), or nullptr.
Converter openStopping(const char* canonical) {
  UErrorCode error = U_ZERO_ERROR;
  Converter converter(ucnv_open(canonical, &error));
  if (U_FAILURE(error)) return nullptr;
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  if (U_FAILURE(error)) return nullptr;
  return converter;
}

// What a byte sequence reads as on its own.
enum class Reading { kCharacter, kNothing, kIncomplete };
struct Read {
  Reading kind;
  UChar32 character = 0;
};

// kCharacter when the bytes are exactly one character.
Read readSequence(UConverter* converter, const uint8_t* bytes, size_t size) {
  ucnv_resetToUnicode(converter);
  UChar out[4];
  UChar* target = out;
  const char* source = reinterpret_cast<const char*>(bytes);
  const char* end = source + size;
  UErrorCode error = U_ZERO_ERROR;
  ucnv_toUnicode(converter, &target, out + 4, &source, end, nullptr, true, &error);
  if (error == U_TRUNCATED_CHAR_FOUND) return {Reading::kIncomplete};
  const int32_t length = static_cast<int32_t>(target - out);
  if (U_FAILURE(error) || source != end || length == 0) return {Reading::kNothing};
  int32_t i = 0;
  UChar32 character;
  U16_NEXT(out, i, length, character);
  if (i != length) return {Reading::kNothing};
  return {Reading::kCharacter, character};
}

// The length of the characters that begin with `lead`, a byte that is no character on its
// own: 0 when none does, kMixed when some are longer than others. Every continuation that
// leaves a character incomplete is followed, since those of one second byte may have no
// characters at all while another's do (EUC-JP's 0x8F 0xA1 against 0x8F 0xAB).
constexpr int kMixed = -1;
int sequenceLength(UConverter* converter, uint8_t lead) {
  using Prefix = std::array<uint8_t, 4>;
  std::vector<Prefix> incomplete{Prefix{lead}};
  int length = 0;
  for (size_t size = 2; size <= 4 && !incomplete.empty(); ++size) {
    std::vector<Prefix> longer;
    for (Prefix bytes : incomplete) {
      for (int last = 0; last < 256; ++last) {
        bytes[size - 1] = static_cast<uint8_t>(last);
        const Reading kind = readSequence(converter, bytes.data(), size).kind;
        if (kind == Reading::kCharacter) {
          if (length != 0 && length != static_cast<int>(size)) return kMixed;
          length = static_cast<int>(size);
          // None is longer: the first of four bytes settles it.
          if (size == 4) return length;
        } else if (kind == Reading::kIncomplete && size < 4) {
          longer.push_back(bytes);
        }
      }
    }
    incomplete = std::move(longer);
  }
  return length;
}

// XML's own characters, which an encoding must write as their ASCII bytes.
bool isXMLSyntaxByte(int byte) { return (byte >= 0x20 && byte < 0x7F) || byte == '\t' || byte == '\n' || byte == '\r'; }

// An encoding as the library takes it, or why it cannot.
struct Description {
  std::string refusal;
  // Per byte: the character, -1 for a byte no character begins with, -n for the first byte of
  // an n-byte character.
  int map[256] = {};
  bool multiByte = false;
};

Description describe(const char* canonical) {
  Description d;
  Converter converter = openStopping(canonical);
  if (!converter) {
    d.refusal = "ICU cannot open it";
    return d;
  }
  switch (ucnv_getType(converter.get())) {
    case UCNV_SBCS: case UCNV_DBCS: case UCNV_MBCS: case UCNV_LATIN_1: case UCNV_US_ASCII: case UCNV_UTF8: break;
    default:
      d.refusal = "it keeps a state between characters or is not written in bytes";
      return d;
  }
  for (int byte = 0; byte < 256; ++byte) {
    const uint8_t b = static_cast<uint8_t>(byte);
    const Read read = readSequence(converter.get(), &b, 1);
    int& entry = d.map[byte];
    if (read.kind == Reading::kCharacter) {
      // Control characters may trade places (some code pages do), not XML's own.
      if (read.character < 0x80 && read.character != byte && (isXMLSyntaxByte(byte) || isXMLSyntaxByte(read.character))) {
        d.refusal = "it does not write XML's ASCII characters as ASCII";
        return d;
      }
      // The library takes no character beyond U+FFFF for a byte of its own.
      entry = read.character <= 0xFFFF ? read.character : -1;
      continue;
    }
    if (isXMLSyntaxByte(byte)) {
      d.refusal = "it does not write XML's ASCII characters as ASCII";
      return d;
    }
    const int length = read.kind == Reading::kIncomplete ? sequenceLength(converter.get(), b) : 0;
    if (length == kMixed) {
      d.refusal = "the length of its characters is not told by their first byte";
      return d;
    }
    entry = length > 0 ? -length : -1;
    d.multiByte = d.multiByte || length > 0;
  }
  return d;
}

// Worked out once per encoding for the process: up to a few hundred thousand conversions
// (some milliseconds) for a multi-byte one. ICU's converters are few, which bounds what is kept.
std::shared_ptr<const Description> descriptionOf(const char* canonical) {
  static std::mutex mutex;
  // Never destroyed: a parser on another thread may still read an encoding at exit.
  static auto* known = new std::map<std::string, std::shared_ptr<const Description>>();
  std::lock_guard lock(mutex);
  auto& description = (*known)[canonical];
  if (!description) description = std::make_shared<const Description>(describe(canonical));
  return description;
}

// The callback's data for a multi-byte encoding: one converter per parser, since a converter
// is for one thread at a time.
struct Sequences {
  Converter converter;
  std::shared_ptr<const Description> description;
};

int XMLCALL convertSequence(void* data, const char* s) {
  const auto& sequences = *static_cast<const Sequences*>(data);
  const auto* bytes = reinterpret_cast<const uint8_t*>(s);
  const Read read = readSequence(sequences.converter.get(), bytes, static_cast<size_t>(-sequences.description->map[bytes[0]]));
  return read.kind == Reading::kCharacter ? read.character : -1;
}

void XMLCALL releaseSequences(void* data) { delete static_cast<Sequences*>(data); }

}  // namespace

bool describeUnknownEncoding(const char* name, XML_Encoding& info, std::string& refusal) {
  try {
    // The name is the document's, shown in part when it is long.
    const std::string shown = "\"" + std::string(name).substr(0, 64) + "\"";
    // Only names in ICU's table of aliases, opened by ICU's own name for them: nothing a
    // document declares is taken as a file to load or as options for the converter.
    UErrorCode error = U_ZERO_ERROR;
    const char* canonical = *name ? ucnv_getAlias(name, 0, &error) : nullptr;
    if (U_FAILURE(error) || !canonical || !*canonical) {
      refusal = "unknown encoding " + shown;
      return false;
    }
    std::shared_ptr<const Description> description = descriptionOf(canonical);
    if (!description->refusal.empty()) {
      refusal = "encoding " + shown + " cannot be read: " + description->refusal;
      return false;
    }
    std::copy(std::begin(description->map), std::end(description->map), info.map);
    info.data = nullptr;
    info.convert = nullptr;
    info.release = nullptr;
    if (!description->multiByte) return true;
    std::unique_ptr<Sequences> sequences(new Sequences{openStopping(canonical), description});
    if (!sequences->converter) {
      refusal = "encoding " + shown + " cannot be read: ICU cannot open it";
      return false;
    }
    info.data = sequences.release();
    info.convert = &convertSequence;
    info.release = &releaseSequences;
    return true;
  } catch (const std::bad_alloc&) {
    refusal = "out of memory";  // short enough to need no allocation
    return false;
  }
}

}  // namespace platform
