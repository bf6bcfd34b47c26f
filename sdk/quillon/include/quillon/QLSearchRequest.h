#pragma once
// A search query to be served as an ad request.
#include <memory>
#include <optional>
#include <string>

#include "quillon/QLRequest.h"

namespace quillon {

class QLSearchRequest {
 public:
  const std::optional<std::string>& query() const { return query_; }
  void setQuery(std::optional<std::string> query) { query_ = std::move(query); }
  // A new request whose additional parameters hold the query under "q" (none without one).
  std::shared_ptr<QLRequest> request() const;

 private:
  std::optional<std::string> query_;
};

}  // namespace quillon
