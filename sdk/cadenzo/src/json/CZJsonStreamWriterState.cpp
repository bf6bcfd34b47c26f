#include "CZJsonStreamWriterState.h"

#include <string>

#include "CZJsonStreamWriter.h"

namespace cadenzo {

#define CZ_SHARED_INSTANCE(Name)       \
  const Name& Name::sharedInstance() { \
    static const Name instance;        \
    return instance;                   \
  }

CZ_SHARED_INSTANCE(CZJsonStreamWriterState)
CZ_SHARED_INSTANCE(CZJsonStreamWriterStateStart)
CZ_SHARED_INSTANCE(CZJsonStreamWriterStateComplete)
CZ_SHARED_INSTANCE(CZJsonStreamWriterStateError)
CZ_SHARED_INSTANCE(CZJsonStreamWriterStateObjectStart)
CZ_SHARED_INSTANCE(CZJsonStreamWriterStateObjectKey)
CZ_SHARED_INSTANCE(CZJsonStreamWriterStateObjectValue)
CZ_SHARED_INSTANCE(CZJsonStreamWriterStateArrayStart)
CZ_SHARED_INSTANCE(CZJsonStreamWriterStateArrayValue)

#undef CZ_SHARED_INSTANCE

void CZJsonStreamWriterState::appendWhitespace(CZJsonStreamWriter& writer) const {
  std::string ws(1 + 2 * writer.stateStack().size(), ' ');
  ws[0] = '\n';
  writer.appendBytesLength(ws.data(), ws.size());
}

void CZJsonStreamWriterStateStart::transitionState(CZJsonStreamWriter& writer) const {
  writer.setState(&CZJsonStreamWriterStateComplete::sharedInstance());
}

bool CZJsonStreamWriterStateComplete::isInvalidState(CZJsonStreamWriter& writer) const {
  writer.setError("Stream is closed");
  return true;
}

void CZJsonStreamWriterStateObjectStart::transitionState(CZJsonStreamWriter& writer) const {
  writer.setState(&CZJsonStreamWriterStateObjectValue::sharedInstance());
}

bool CZJsonStreamWriterStateObjectStart::expectingKey(CZJsonStreamWriter& writer) const {
  writer.setError("JSON object key must be string");
  return true;
}

void CZJsonStreamWriterStateObjectKey::appendSeparator(CZJsonStreamWriter& writer) const {
  writer.appendBytesLength(",", 1);
}

void CZJsonStreamWriterStateObjectValue::appendSeparator(CZJsonStreamWriter& writer) const {
  writer.appendBytesLength(":", 1);
}

void CZJsonStreamWriterStateObjectValue::transitionState(CZJsonStreamWriter& writer) const {
  writer.setState(&CZJsonStreamWriterStateObjectKey::sharedInstance());
}

void CZJsonStreamWriterStateObjectValue::appendWhitespace(CZJsonStreamWriter& writer) const {
  writer.appendBytesLength(" ", 1);
}

void CZJsonStreamWriterStateArrayStart::transitionState(CZJsonStreamWriter& writer) const {
  writer.setState(&CZJsonStreamWriterStateArrayValue::sharedInstance());
}

void CZJsonStreamWriterStateArrayValue::appendSeparator(CZJsonStreamWriter& writer) const {
  writer.appendBytesLength(",", 1);
}

}  // namespace cadenzo
