// The body builder over facts and targeting cut from arbitrary bytes. Whatever the text, a
// body holds only letters, digits and "._-=&%X", every "%" starts an upper-case escape,
// every escaped value reads back as it was, and a build either gives a body or refuses it.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <stdlib.h>

#include "../sdk/nubira/src/NBHttpRequestBuilder.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBUserInfo.h"
#include "platform/sandbox.h"

namespace {

std::shared_ptr<nubira::NBUserInfo> gInfo;

void checkText(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isalnum(c) || c == '.' || c == '_' || c == '-' || c == '=' || c == '&') continue;
    if (c != '%' || i + 2 >= text.size() + 0 || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 2])) || std::islower(static_cast<unsigned char>(text[i + 1])) ||
        std::islower(static_cast<unsigned char>(text[i + 2]))) {
      std::abort();
    }
    i += 2;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/nubira-body-fuzz-XXXXXX";
  if (!mkdtemp(dir)) std::abort();
  platform::Sandbox::setHome(dir);
  gInfo = nubira::NBUserInfo::create();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> f(12);
  size_t at = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && at + 1 < f.size()) {
      ++at;
    } else {
      f[at] += static_cast<char>(data[i]);
    }
  }
  for (const auto& text : f) {
    std::string escaped = nubira::NBHttpRequestBuilder::getURLEncoded(text);
    checkText(escaped);
    if (nubira::NBHttpRequestBuilder::decodedURLString(escaped) != text) {
      // Text that is not UTF-8 does not decode back; everything else must.
      bool ascii = true;
      for (unsigned char c : text) ascii = ascii && c < 0x80;
      if (ascii) std::abort();
    }
  }
  auto request = nubira::NBAdRequest::request();
  request->setPostalCode(f[0]);
  request->setKeywords(f[1]);
  request->setInterests(f[2]);
  request->setGender(size > 0 ? data[0] % 3 : 0);
  request->setAge(size > 1 ? data[1] : 0);
  platform::Dictionary params;
  params.set(f[3], f[4]);
  if (size > 2 && data[2] == 'n') params.set("number", 5);
  request->setParamsDictionary(params);
  gInfo->setAppId(f[5].empty() ? std::nullopt : std::optional<std::string>(f[5]));
  gInfo->setDeviceModel(f[6]);
  gInfo->setLocalization(f[7].empty() ? std::nullopt : std::optional<std::string>(f[7]));
  gInfo->setHRefKey(f[8]);
  gInfo->setHRefTag(f[9]);
  gInfo->setUserAgent(f[10]);
  gInfo->setDeviceMachineHW(f[11]);
  try {
    auto targeting = nubira::NBHttpRequestBuilder::getSDKDelegatePostBodyString(request.get());
    if (!targeting) std::abort();
    checkText(*targeting);
  } catch (const nubira::NBBodyBuildError&) {
    if (!(size > 2 && data[2] == 'n')) std::abort();
  }
  checkText(nubira::NBHttpRequestBuilder::getDevicePostBodyString(*gInfo));
  for (int type : {0, 1, 2, 9}) {
    checkText(nubira::NBHttpRequestBuilder::getApplicationPostBodyStringForRequestType(*gInfo, type));
  }
  return 0;
}
