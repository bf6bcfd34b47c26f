#include "nubira/NBAdRequest.h"

namespace nubira {

std::shared_ptr<NBAdRequest> NBAdRequest::request() { return std::make_shared<NBAdRequest>(); }

}  // namespace nubira
