#pragma once
// Evaluation context. Only the normal context exists here.
class MDGContext {
public:
  MDGContext() {}
  bool isNormal() const { return true; }
  static MDGContext fsNormal;
};
