#pragma once
// UTF-8 for the readers and writers of outside text: one encoder and one validator for the
// platform and every client. Pure functions; thread-safe.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Appends the UTF-8 form of `codePoint`; a surrogate or a value past U+10FFFF becomes U+FFFD.
void appendUtf8(std::string& out, uint32_t codePoint);

// Well-formed UTF-8: continuation bytes 0x80-0xBF, no overlong forms (lead bytes 0xC0, 0xC1
// refused, second byte after 0xE0 at least 0xA0, after 0xF0 at least 0x90), no encoded
// surrogates (second byte after 0xED at most 0x9F), nothing above U+10FFFF (second byte
// after 0xF4 at most 0x8F, lead bytes 0xF5 and above refused). ASCII is skipped eight bytes
// at a time: on mixed text this measured faster than a byte-at-a-time check
// (bench/bench_platform_utf8.cpp).
bool isValidUtf8(std::string_view text);

// The length (1-4) of the well-formed sequence that starts at text[at] (by the rules above),
// or 0 when none starts there; then `*skip` (when given) is the length of the ill-formed
// part to replace with one U+FFFD: the lead byte and the continuation bytes that fit it
// before the failure (at least 1). `at` must be inside the text.
size_t utf8SequenceLength(std::string_view text, size_t at, size_t* skip = nullptr);

}  // namespace platform
