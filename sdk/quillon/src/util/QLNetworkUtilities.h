#pragma once
// URL and query operations of the client, and the user-agent text its own downloads present
// (learnt from the web views' requests). Class functions only; thread-safe.
#include <optional>
#include <string>
#include <string_view>

#include "platform/url.h"
#include "platform/value.h"

namespace quillon {

class QLNetworkUtilities {
 public:
  static std::optional<std::string> userAgentString();
  // An empty text or the text already kept changes nothing; nor does one holding a control
  // character (see removingControlCharacters), which would end the header line it is sent
  // in: the last clean text stays. True when `userAgent` is clean.
  static bool setUserAgentString(const std::string& userAgent);

  // Pieces cut at "&" and ";"; a piece of exactly "key=value" gives the key percent-decoded
  // and in lower case, and the value percent-decoded. Pieces that do not decode are skipped;
  // a later key replaces an earlier one.
  static platform::Dictionary dictionaryFromQueryString(std::string_view query);

  // The raw (undecoded) value of the first "key=value" piece of the URL's query whose name
  // is exactly `key`.
  static std::optional<std::string> parameterValueForKeyFromURL(std::string_view key, const platform::URL& url);

  // Appends each entry as a query parameter: the key as it is, then "=" and the value's
  // description percent-encoded, unless that is empty. Parameters go before any "#fragment".
  // nullopt when the result is not a URL (a key the platform refuses).
  static std::optional<platform::URL> appendQueryParametersToURL(const platform::Dictionary& parameters,
                                                                 const platform::URL& url);
  // A null value appends the key alone.
  static std::optional<platform::URL> appendQueryKeyValueToURL(const std::string& key, const platform::Value& value,
                                                               const platform::URL& url);

  // UTF-8 percent-encoding that also escapes every one of "!*'();:@&=+$,/?%#[]".
  static std::string encodeURL(std::string_view text);

  // `text` without its control characters (U+0000-U+001F, U+007F-U+009F): what a page or a
  // server gives must not start a new header line or field where the client writes it. With
  // `keepLineBreaks`, line feeds and tabs stay (a message body's own lines).
  static std::string removingControlCharacters(std::string_view text, bool keepLineBreaks = false);
};

}  // namespace quillon
