#pragma once
// The states of CZJsonStreamWriter, one immutable process-wide singleton each
// (sharedInstance()): whether a write is refused in this state, whether a key is expected,
// the separator before a value, the state after a value, and the whitespace of
// human-readable output. Thread-safe (no state of their own).
namespace cadenzo {

class CZJsonStreamWriter;

class CZJsonStreamWriterState {
 public:
  virtual ~CZJsonStreamWriterState() = default;
  static const CZJsonStreamWriterState& sharedInstance();

  // True (with the writer's error set) when nothing may be written in this state.
  virtual bool isInvalidState(CZJsonStreamWriter&) const { return false; }
  // True (with the writer's error set) when only a key may be written here.
  virtual bool expectingKey(CZJsonStreamWriter&) const { return false; }
  virtual void appendSeparator(CZJsonStreamWriter&) const {}
  virtual void transitionState(CZJsonStreamWriter&) const {}
  // A line feed, then two blanks per entry of the writer's state stack.
  virtual void appendWhitespace(CZJsonStreamWriter& writer) const;

 protected:
  CZJsonStreamWriterState() = default;
};

class CZJsonStreamWriterStateStart : public CZJsonStreamWriterState {
 public:
  static const CZJsonStreamWriterStateStart& sharedInstance();
  void transitionState(CZJsonStreamWriter& writer) const override;
};

class CZJsonStreamWriterStateComplete : public CZJsonStreamWriterState {
 public:
  static const CZJsonStreamWriterStateComplete& sharedInstance();
  bool isInvalidState(CZJsonStreamWriter& writer) const override;
};

class CZJsonStreamWriterStateError : public CZJsonStreamWriterState {
 public:
  static const CZJsonStreamWriterStateError& sharedInstance();
};

class CZJsonStreamWriterStateObjectStart : public CZJsonStreamWriterState {
 public:
  static const CZJsonStreamWriterStateObjectStart& sharedInstance();
  void transitionState(CZJsonStreamWriter& writer) const override;
  bool expectingKey(CZJsonStreamWriter& writer) const override;
};

class CZJsonStreamWriterStateObjectKey : public CZJsonStreamWriterStateObjectStart {
 public:
  static const CZJsonStreamWriterStateObjectKey& sharedInstance();
  void appendSeparator(CZJsonStreamWriter& writer) const override;
};

class CZJsonStreamWriterStateObjectValue : public CZJsonStreamWriterState {
 public:
  static const CZJsonStreamWriterStateObjectValue& sharedInstance();
  void appendSeparator(CZJsonStreamWriter& writer) const override;
  void transitionState(CZJsonStreamWriter& writer) const override;
  void appendWhitespace(CZJsonStreamWriter& writer) const override;
};

class CZJsonStreamWriterStateArrayStart : public CZJsonStreamWriterState {
 public:
  static const CZJsonStreamWriterStateArrayStart& sharedInstance();
  void transitionState(CZJsonStreamWriter& writer) const override;
};

class CZJsonStreamWriterStateArrayValue : public CZJsonStreamWriterState {
 public:
  static const CZJsonStreamWriterStateArrayValue& sharedInstance();
  void appendSeparator(CZJsonStreamWriter& writer) const override;
};

}  // namespace cadenzo
