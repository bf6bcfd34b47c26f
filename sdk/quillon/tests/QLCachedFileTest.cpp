// Where fetched files land (under Library/Caches, in a folder named after the host only when
// the host is one plain name) and how they are fetched and revalidated over loopback.
#include <gtest/gtest.h>

#include "QLCachedFile.h"
#include "platform/file_manager.h"
#include "platform/sandbox.h"
#include "testing/quillon_server.h"
#include "testing/sandbox_test.h"

namespace {

using platform::URL;
using quillon::QLCachedFile;

class QLCachedFileTest : public testkit::SandboxTest {};

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

namespace {

using testkit::ScriptedAnswer;

struct FileRecorder : quillon::QLCachedFileDelegate {
  std::vector<std::string> events;
  void cachedFileDownloadDidEnd(QLCachedFile& file) override {
    events.push_back("end " + std::to_string(file.httpStatusCode()));
  }
  void cachedFileDownloadDidFail(QLCachedFile& file, const std::optional<platform::Error>& error) override {
    events.push_back("fail " + std::to_string(file.httpStatusCode()) + (error ? " error" : ""));
  }
  std::optional<platform::Error> cachedFileShouldRedirectToURL(QLCachedFile& file, const URL& url) override {
    // What the file knows at the moment of the redirect, before the final answer.
    events.push_back("redirect " + file.httpDestinationURL().absoluteString() + " " +
                     file.httpHeaders().value("Location").value_or("-") + " " + url.absoluteString());
    return std::nullopt;
  }
};

class QLCachedFileFetchTest : public QLCachedFileTest {
 protected:
  // Fetches once and waits for the outcome; returns the events of that fetch.
  std::vector<std::string> fetch(QLCachedFile& file) {
    recorder->events.clear();
    file.validate();
    EXPECT_TRUE(runUntil([&] { return !recorder->events.empty() && recorder->events.back().rfind("redirect", 0); }));
    return recorder->events;
  }
  testkit::QuillonServer server;
  std::shared_ptr<FileRecorder> recorder = std::make_shared<FileRecorder>();
};

TEST_F(QLCachedFileFetchTest, RevalidatesWithTheServersLastModified) {
  const std::string lastModified = "Tue, 02 Jun 2026 10:00:00 GMT";
  ScriptedAnswer first = ScriptedAnswer::text("version one");
  first.lastModified = lastModified;
  server.http().setAnswer("/file", first);
  auto file = QLCachedFile::create(recorder, *URL::create(server.url("/file")));

  EXPECT_EQ(fetch(*file), std::vector<std::string>{"end 200"});
  // 2 June 2026 10:00:00 UTC: 20606 days after 1970-01-01, plus ten hours.
  EXPECT_EQ(platform::FileManager::accessDate(*file->filePath()), 20606.0 * 86400 + 36000);
  EXPECT_EQ(platform::FileManager::modificationDate(*file->filePath()), 20606.0 * 86400 + 36000);
  EXPECT_EQ(file->content(), "version one");
  EXPECT_EQ(file->fileModificationDate(), "Tue, 02 Jun 2026 10:00:00");

  // Not modified since: the file stays as it was and the fetch counts as done.
  EXPECT_EQ(fetch(*file), std::vector<std::string>{"end 304"});
  EXPECT_EQ(file->content(), "version one");

  auto requests = server.http().requestsTo("/file");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_FALSE(requests[0].header("If-Modified-Since"));
  EXPECT_EQ(requests[1].header("If-Modified-Since"), lastModified);

  // A failing answer keeps the copy on disk for whoever can still use it.
  server.http().setAnswer("/file", ScriptedAnswer::text("not found", 404));
  EXPECT_EQ(fetch(*file), std::vector<std::string>{"fail 404"});
  EXPECT_EQ(file->content(), "version one");

  // Only a whole answer is one to keep: a piece of the file, or no content, is not.
  for (int status : {203, 204, 206}) {
    SCOPED_TRACE(status);
    server.http().setAnswer("/file", ScriptedAnswer::text("version two", status));
    EXPECT_EQ(fetch(*file), std::vector<std::string>{"fail " + std::to_string(status)});
    EXPECT_EQ(file->content(), "version one");
  }
  // And a newer one replaces the file.
  server.http().setAnswer("/file", ScriptedAnswer::text("version two"));
  EXPECT_EQ(fetch(*file), std::vector<std::string>{"end 200"});
  EXPECT_EQ(file->content(), "version two");
}

TEST_F(QLCachedFileFetchTest, RedirectsMoveTheDestinationBeforeTheFinalAnswer) {
  server.http().setRedirectChain({"/a", "/b"}, 302, ScriptedAnswer::text("landed"));
  auto file = QLCachedFile::create(recorder, *URL::create(server.url("/a")));
  std::vector<std::string> expected = {"redirect " + server.url("/b") + " /b " + server.url("/b"), "end 200"};
  EXPECT_EQ(fetch(*file), expected);
  EXPECT_EQ(file->httpDestinationURL().absoluteString(), server.url("/b"));
  EXPECT_EQ(file->content(), "landed");
}

}  // namespace
