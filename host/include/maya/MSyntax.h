#pragma once
// Command syntax description; commands registered here take no flags, so it is empty.
class MSyntax {
public:
  MSyntax() {}
};
