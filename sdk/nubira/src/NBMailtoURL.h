#pragma once
// A "mailto" link read into the fields of a mail: the addresses before "?" and in "to",
// "cc" and "bcc" (comma-separated, unescaped as UTF-8, blanks dropped), "subject" and
// "body". Names compare without case; a pair that does not unescape is left out.
#include <optional>
#include <string>
#include <vector>

namespace nubira {

struct NBMailtoURL {
  std::vector<std::string> to, cc, bcc;
  std::optional<std::string> subject, body;

  // nullopt when the text is not a "mailto:" URL.
  static std::optional<NBMailtoURL> parse(const std::string& url);
};

}  // namespace nubira
