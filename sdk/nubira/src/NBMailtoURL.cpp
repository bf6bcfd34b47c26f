#include "NBMailtoURL.h"

#include "platform/text_helpers.h"
#include "platform/url.h"

namespace nubira {

namespace {

void addAddresses(std::vector<std::string>& into, const std::string& list) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    std::string address = platform::trimWhitespaceAndNewlines(list.substr(start, comma - start));
    if (!address.empty()) into.push_back(std::move(address));
    start = comma + 1;
  }
}

}  // namespace

std::optional<NBMailtoURL> NBMailtoURL::parse(const std::string& url) {
  constexpr std::string_view kScheme = "mailto:";
  if (url.size() < kScheme.size() || platform::lowercase(url.substr(0, kScheme.size())) != kScheme) {
    return std::nullopt;
  }
  std::string rest = url.substr(kScheme.size());
  if (rest.rfind("//", 0) == 0) rest.erase(0, 2);
  rest = rest.substr(0, rest.find('#'));
  const size_t question = rest.find('?');
  NBMailtoURL mail;
  if (auto addresses = platform::replacingPercentEscapes(rest.substr(0, question))) addAddresses(mail.to, *addresses);
  if (question == std::string::npos) return mail;
  for (const auto& [name, value] : platform::queryItems(rest.substr(question + 1))) {
    const std::string key = platform::lowercase(name);
    if (key == "to") addAddresses(mail.to, value);
    else if (key == "cc") addAddresses(mail.cc, value);
    else if (key == "bcc") addAddresses(mail.bcc, value);
    else if (key == "subject") mail.subject = value;
    else if (key == "body") mail.body = value;
  }
  return mail;
}

}  // namespace nubira
