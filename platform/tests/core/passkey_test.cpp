#include "platform/passkey.h"

#include <gtest/gtest.h>

#include <memory>
#include <type_traits>

#include "platform/application.h"
#include "platform/location.h"
#include "platform/reachability.h"
#include "platform/tcp_stream.h"
#include "platform/url_connection.h"

namespace {

class Made {
 public:
  static std::shared_ptr<Made> create() { return std::make_shared<Made>(platform::Passkey<Made>(), 7); }
  Made(platform::Passkey<Made>, int wired) : wired_(wired) {}
  int wired() const { return wired_; }

 private:
  int wired_;
};

// Only the class itself can make its key, so callers go through its factory.
static_assert(!std::is_default_constructible_v<platform::Passkey<Made>>);
static_assert(!std::is_default_constructible_v<platform::Passkey<platform::URLConnection>>);
static_assert(!std::is_default_constructible_v<platform::Passkey<platform::TCPStream>>);
static_assert(!std::is_default_constructible_v<platform::Passkey<platform::Reachability>>);
static_assert(!std::is_default_constructible_v<platform::Passkey<platform::LocationManager>>);
static_assert(!std::is_default_constructible_v<platform::LocationManager>);
static_assert(!std::is_default_constructible_v<platform::Application>);

TEST(PasskeyTest, TheFactoryStillMakesAWiredObject) { EXPECT_EQ(Made::create()->wired(), 7); }

}  // namespace
