// Where fetched files land: under Library/Caches, in a folder named after the host only when
// the host is one plain name.
#include <gtest/gtest.h>

#include "QLCachedFile.h"
#include "platform/sandbox.h"
#include "testing/sandbox_test.h"

namespace {

using platform::URL;
using quillon::QLCachedFile;

class QLCachedFileTest : public testing::SandboxTest {};

TEST_F(QLCachedFileTest, FilesStayInsideTheCachesFolder) {
  const std::string caches = platform::Sandbox::caches() + "/";
  auto pathOf = [](const std::string& url) {
    auto parsed = URL::create(url);
    EXPECT_TRUE(parsed) << url;
    return parsed ? QLCachedFile::create({}, *parsed)->filePath().value_or("<none>") : "<none>";
  };
  // FNV-1a (32 bits) of "http://a.example/x", worked out apart from the client.
  EXPECT_EQ(pathOf("http://a.example/x"), caches + "a.example/" + "3a5fa3f1");
  EXPECT_NE(pathOf("http://a.example/y"), pathOf("http://a.example/x"));
  EXPECT_EQ(pathOf("http://a.example/y").rfind(caches + "a.example/", 0), 0u);

  for (const std::string url : {"http://../x", "http://./x", "file:///etc/passwd", "about:blank"}) {
    std::string path = pathOf(url);
    SCOPED_TRACE(url);
    ASSERT_EQ(path.rfind(caches, 0), 0u);
    EXPECT_EQ(path.find('/', caches.size()), std::string::npos);  // straight in the folder
  }
}

}  // namespace
