#pragma once
// How ad pages' "cadenzo" command URLs are read: the URL text is cut at every "/" (so the
// host is piece 2 and the path segments follow), which is why pages escape every "/"
// inside a part.
#include <string>
#include <vector>

namespace cadenzo {

inline constexpr const char* kCZCommandScheme = "cadenzo";

// "cadenzo://link/a/b" → {"cadenzo:", "", "link", "a", "b"}.
std::vector<std::string> CZSplitAtSlashes(const std::string& text);

// The URL's scheme as written ("" when it has none).
std::string CZSchemeOf(const std::string& url);

// Ad pages are loaded with the application bundle as their base so they can use its files;
// a "file" URL naming anything outside the bundle folder (by "..", a link or an absolute
// path elsewhere) is not theirs to load. False for every other scheme.
bool CZIsFileURLOutsideBundle(const std::string& url);

}  // namespace cadenzo
