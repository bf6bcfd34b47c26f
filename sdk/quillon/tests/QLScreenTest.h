#pragma once
// What the tests with a screen share: the sandbox server as the client's hosts, and a key
// window whose root view controller presents the client's full-screen pages.
#include <memory>

#include "QLTestServer.h"
#include "platform/view_controller.h"
#include "platform/window.h"
#include "testing/quillon_server.h"
#include "testing/sandbox_test.h"

namespace quillon_test {

class QLScreenTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    useServer(server);
    window->setRootViewController(root);
    window->makeKeyAndVisible();
  }

  testkit::QuillonServer server;
  std::shared_ptr<platform::Window> window = platform::Window::create(platform::Rect(0, 0, 320, 480));
  std::shared_ptr<platform::ViewController> root = platform::ViewController::create();
};

}  // namespace quillon_test
