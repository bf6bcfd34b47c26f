#pragma once
// Text put into a page: one quoting rule for script string literals and one escaping rule for
// HTML, used by the web view and every client. Outside text (server answers, page commands,
// stored values, host names) reaches pages only through these. Pure functions; thread-safe.
#include <string>
#include <string_view>

namespace platform {

// The body of a JavaScript string literal in single or double quotes, or of a JSON string,
// that holds `text` exactly, also where the literal sits inside an HTML <script> element:
//   "  -> \"        '  -> \u0027      \  -> \\ (a backslash doubled)
//   U+0008 U+0009 U+000A U+000C U+000D -> \b \t \n \f \r
//   every other control character (U+0000-U+001F, U+007F-U+009F) -> \u00XX
//   <  -> \u003C    (so no "</script>", "<!--" or "<script" appears in the output)
//   U+2028 U+2029 -> \u2028 \u2029 (line terminators in ES5 string literals)
//   ill-formed UTF-8 -> U+FFFD, one for each maximal ill-formed part; never passed through.
// Hex digits are upper case. Everything else, non-ASCII included, is kept as it is.
std::string escapeScriptString(std::string_view text);

// `"` + escapeScriptString(text) + `"`: a script string literal that is also a JSON string.
std::string quoteScriptString(std::string_view text);

// Serialised JSON (from one of our JSON writers, so well-formed) made safe to put into a
// script as an expression: "<" (found only inside its strings), U+2028 and U+2029 take the
// escaped forms above and ill-formed UTF-8 becomes U+FFFD; the rest (the writer's own
// escapes, and white space between tokens) is kept byte for byte.
std::string scriptSafeJSON(std::string_view json);

// `text` for HTML element text or an attribute value in single or double quotes:
//   & -> &amp;   < -> &lt;   > -> &gt;   " -> &quot;   ' -> &#39;
// Ill-formed UTF-8 becomes U+FFFD as above; everything else is kept byte for byte.
std::string escapeHTML(std::string_view text);

}  // namespace platform
