#pragma once
// An incremental reader of the collector's HTTP answers: status line, headers, a body of
// Content-Length bytes or in chunks. Answers may arrive split at any byte and several in one
// read; an answer with a status other than 200 is read to its end like any other, so the
// answers behind it are still heard.
//
// Not thread-safe. The delegate is not retained and must outlive every parseResponse call.
// The delegate may call reset() from inside a callback (to start the next batch): the bytes
// of the read being parsed are then dropped, never scanned again as answers of the new batch.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace analytics {

class OAHTTPResponseParserDelegate {
 public:
  virtual ~OAHTTPResponseParserDelegate() = default;
  // One complete answer with status 200. `persistentConnection` is false once any answer of
  // this parser was HTTP/1.0 or said "Connection: close".
  virtual void responseParsedPersistentConnection(bool persistentConnection) = 0;
  // One complete answer with another status (an HTTP status line without two blanks counts
  // as 500). Parsing goes on with the next answer.
  virtual void responseRefusedStatusCode(int /*statusCode*/) {}
  // Bytes that cannot be an answer (not a status line, an over-long line, a length or chunk
  // size that cannot be met). Parsing stops until reset().
  virtual void parseErrorStatusCode(int statusCode) = 0;
};

class OAHTTPResponseParser {
 public:
  explicit OAHTTPResponseParser(OAHTTPResponseParserDelegate* delegate);

  // Forgets the partial answer; the persistent flag stays as it is.
  void reset();
  // Feeds the next bytes of the stream.
  void parseResponse(const uint8_t* bytes, size_t length);

  bool persistentConnection() const { return persistentConnection_; }

  // Longest status or header line kept; longer lines make the answer a 500.
  static constexpr size_t kMaxLineLength = 8192;
  // Longest answer read, head and body together. The collector answers with a pixel: an
  // answer past this is out of step (or hostile) and makes a 500 rather than hold the
  // connection for as long as the other side keeps sending.
  static constexpr size_t kMaxAnswerLength = 64 * 1024;

 private:
  enum class State { StatusLine, Headers, Body, ChunkSize, ChunkData, ChunkEnd, Trailers, Stopped };
  // Both answer the status code found, or act on the header.
  int parseStatusLine(const std::string& line);
  void parseHeader(const std::string& line);
  // Ends a line: false when the delegate reset or stopped the parser meanwhile.
  bool lineComplete();
  // Reports the answer just read; false when the delegate reset or stopped the parser.
  bool answerComplete();
  bool stop(int statusCode);

  OAHTTPResponseParserDelegate* delegate_;
  std::string line_;    // the current status or header line, without its CR LF
  bool sawCR_ = false;  // the previous byte was a carriage return
  State state_ = State::StatusLine;
  int status_ = 0;
  bool chunked_ = false;
  long contentLength_ = 0;  // of the body, or of the current chunk
  long bodyRead_ = 0;
  size_t answerRead_ = 0;  // bytes of the current answer so far
  bool persistentConnection_ = true;
  uint64_t generation_ = 0;  // moves on every reset, so a callback's reset is noticed
};

}  // namespace analytics
