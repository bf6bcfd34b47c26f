#pragma once
// Documents in encodings the XML library does not read itself (it reads UTF-8, UTF-16,
// ISO-8859-1 and US-ASCII), read through ICU's converters.
//
// The library takes an encoding as a map of the 256 byte values: each a character of its
// own, a byte no character begins with, or the first byte of a sequence of 2 to 4 bytes
// whose length that byte alone decides, turned into a character by a callback. Every
// single-byte code page fits; so do Shift_JIS, the EUC encodings, GBK and Big5. Encodings
// whose characters' length is not told by their first byte (GB18030), that keep a state
// (ISO-2022, UTF-7), that are not written in bytes (UTF-32) or that do not write XML's
// ASCII characters as ASCII (EBCDIC) are refused, as are names ICU does not know. The
// library refuses a character beyond U+FFFF in such an encoding.
#include <expat.h>

#include <string>

namespace platform {

// Fills `info` for the encoding declared as `name` and returns true, or returns false with
// `refusal` saying why it cannot be read. Any thread.
bool describeUnknownEncoding(const char* name, XML_Encoding& info, std::string& refusal);

}  // namespace platform
