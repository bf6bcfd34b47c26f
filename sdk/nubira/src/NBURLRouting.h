#pragma once
// The pieces of link handling an ad surface shares: reading the scheme, the number of a "tel"
// URL and the address of a "mailto" URL, and following a referral link to where its
// redirects end. Main thread only.
#include <functional>
#include <optional>
#include <string>

#include "platform/url_connection.h"

namespace nubira {

class NBURLRouting {
 public:
  // The scheme in lower case; "" when the text has none.
  static std::string schemeOf(const std::string& url);
  static bool isHttp(const std::string& url);
  // A URL the web view would read from the disk, however its scheme is written.
  static bool isLocalFile(const std::string& url);
  // Whatever the in-app browser may be given: any address but the disk's and a script's. A
  // store's or another application's address is handed on from there.
  static bool opensInBrowser(const std::string& url);
  // Digits with the usual separators, and nothing a dialler would read as a command or as
  // another address.
  static bool isPhoneNumber(const std::string& number);
  // What follows "tel:" (and an optional "//"), unescaped; nullopt when that is no number.
  static std::optional<std::string> telNumber(const std::string& url);
  // The address of a "mailto" URL: what follows "mailto:" (and an optional "//"), up to its
  // first "?". The fields after it are not read: a page's mail link gives the composer its
  // address only. "" when it names none; nullopt when the URL is no "mailto" URL.
  static std::optional<std::string> mailtoRecipient(const std::string& url);

  // A GET of `url` for the client's own small loads (referrals, pings, the conversion
  // ping): it must end within the default deadline and bring at most the default cap.
  static platform::URLRequest boundedRequest(const std::string& url);

  // Follows `url` through its redirects on a connection of its own and hands `open` the
  // last address it reached, whether the load ends well or fails.
  using Opener = std::function<void(const std::string& lastUrl)>;
  static void openReferralURL(const std::string& url, Opener open);
  // Requests `url` and ignores the answer.
  static void ping(const std::string& url);
};

}  // namespace nubira
