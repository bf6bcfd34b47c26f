#pragma once
// URLs as the platform parses, resolves and escapes them.
//
// A `URL` is an immutable value, cheap enough to copy, safe to share between threads.
// Creation never throws: text the platform refuses gives std::nullopt.
//
// Accepted text (everything else is refused):
//   letters, digits and  - . _ ~ : / ? # [ ] @ ! $ & ' ( ) * + , ; =
//   "%" followed by two hexadecimal digits.
// So a space, a double quote, < > \ ^ ` { | }, control characters, DEL, any byte of 0x80 and
// above, and a "%" not followed by two hexadecimal digits make creation fail, as do an
// authority whose port is not all digits (or above 65535), and a host in brackets that is
// not an IPv6 address (hex digits, ":" and ".") or lacks its "]", or a bracket elsewhere
// in the host.
// The empty text is refused unless it is resolved against a base.
//
// Structure follows RFC 3986: scheme ":" ["//" authority] path ["?" query] ["#" fragment],
// the fragment running to the end of the text (a later "#" belongs to it). A first segment
// that does not make a valid scheme ("1a:b") is a relative path.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

enum class StringEncoding { UTF8, ASCII };

class URL {
 public:
  // Parses `text` as it stands.
  static std::optional<URL> create(std::string_view text);
  // Parses `text` and resolves it against `base` (RFC 3986 section 5.2, dot segments
  // removed). The result remembers `base` and `text` as its relative string.
  static std::optional<URL> create(std::string_view text, const URL& base);

  // "file://" and the absolute path, escaped (every byte other than letters, digits and
  // - . _ ~ ! $ & ' ( ) * + , ; = : @ / becomes %XX). A relative path is taken from the
  // current directory. The one-argument form ends the URL with "/" when the path names
  // an existing directory; the two-argument form when `isDirectory` is true.
  static URL fileURLWithPath(std::string_view path);
  static URL fileURLWithPath(std::string_view path, bool isDirectory);

  // Builds the text from parts, escaping nothing, and parses it (so the same refusals
  // apply). A port or user without a host is refused.
  struct Parts {
    std::optional<std::string> scheme;
    std::optional<std::string> user;
    std::optional<std::string> password;
    std::optional<std::string> host;
    std::optional<int> port;
    std::string path;
    std::optional<std::string> query;
    std::optional<std::string> fragment;
  };
  static std::optional<URL> fromParts(const Parts& parts);

  // The full text: the created text itself, or the resolved text for a URL made against a
  // base.
  const std::string& absoluteString() const { return absolute_; }
  // The text given at creation.
  const std::string& relativeString() const { return relative_; }
  // The base given at creation, or nullptr.
  const URL* baseURL() const { return base_.get(); }

  // Parts as written (escapes kept), absent when the text has none.
  const std::optional<std::string>& scheme() const { return scheme_; }
  const std::optional<std::string>& host() const { return host_; }  // IPv6 without brackets
  std::optional<int> port() const { return port_; }
  const std::optional<std::string>& query() const { return query_; }
  const std::optional<std::string>& fragment() const { return fragment_; }
  const std::string& percentEncodedPath() const { return path_; }
  // User and password with their escapes replaced (as written when that fails).
  std::optional<std::string> user() const;
  std::optional<std::string> password() const;
  // The path with escapes replaced (as written when that fails) and a trailing "/"
  // removed unless the path is "/" itself.
  std::string path() const;
  // Everything after "scheme:" (the whole text when there is no scheme).
  std::string resourceSpecifier() const;
  // The last non-empty segment of `path()` ("/" for the root, "" for no path).
  std::string lastPathComponent() const;
  // What follows the last "." of `lastPathComponent()`, "" when none.
  std::string pathExtension() const;
  // The scheme is "file" (any case).
  bool isFileURL() const;

  bool operator==(const URL& o) const { return absolute_ == o.absolute_; }

 private:
  URL() = default;
  static std::optional<URL> parse(std::string_view text);
  std::string recompose() const;

  std::string absolute_;
  std::string relative_;
  std::shared_ptr<const URL> base_;
  std::optional<std::string> scheme_;
  std::optional<std::string> userInfo_;
  std::optional<std::string> host_;
  std::optional<int> port_;
  std::string portText_;  // as written, so that "http://h:/" keeps its colon
  bool hasAuthority_ = false;
  std::string path_;
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
};

// ---- Escaping ---------------------------------------------------------------------
//
// The platform's legacy URL escaping (UTF-8): every byte of the text's UTF-8 form that is
// not in this table becomes "%" and two upper-case hexadecimal digits.
//
//   kept as is        | escaped
//   ------------------+-----------------------------------------------------------
//   A-Z a-z 0-9       | 0x00-0x1F, space, " % < > \ ^ ` { | }, DEL (0x7F),
//   - . _ ~           | every byte 0x80-0xFF (so each non-ASCII character
//   : / ? # [ ] @     | becomes its UTF-8 bytes, escaped one by one)
//   ! $ & ' ( ) * + , ; =
//
// Every character of the result is one URL::create accepts (the kept set is the accepted
// set), so the result is a valid path; as a whole URL it may still be refused for its
// structure ("//h:80a" names a bad port).
std::string addingPercentEscapes(std::string_view text);

// The stricter form: the legacy escaping, plus every character of `alsoEscape` (ASCII),
// minus the characters of `leaveUnescaped` (ASCII, even ones the legacy table escapes).
// Clients pass e.g. "!*'();:@&=+$,/?%#[]" to escape a value that goes inside a URL.
std::string addingPercentEscapes(std::string_view text, std::string_view alsoEscape,
                                 std::string_view leaveUnescaped = {});

// A query name or value: only letters, digits and - . _ ~ are kept; a space is %20.
std::string escapeQueryComponent(std::string_view text);

// Replaces every "%XX" by its byte. nullopt when a "%" is not followed by two hexadecimal
// digits, or when a run of escapes does not decode in `encoding` (UTF-8: not valid UTF-8
// by itself; ASCII: a byte above 0x7F). "+" stays "+".
std::optional<std::string> replacingPercentEscapes(std::string_view text,
                                                   StringEncoding encoding = StringEncoding::UTF8);

// A query text cut at every "&" into name/value pairs in order: the name is what precedes
// the first "=", the value what follows ("" when there is no "="); both unescaped as
// above. Empty pieces and pieces that do not unescape are skipped.
std::vector<std::pair<std::string, std::string>> queryItems(std::string_view query);

}  // namespace platform
