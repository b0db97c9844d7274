#pragma once
// A file name handed to translators. name() and fullName() return the text exactly as
// set, a full path included; path() is its directory part with the trailing '/'.
#include <maya/MString.h>

class MFileObject {
public:
  MFileObject();
  MFileObject(const MFileObject& other);
  ~MFileObject();
  MFileObject& operator=(const MFileObject& other);

  MStatus setName(const MString& name);
  MStatus setFullName(const MString& fullName);
  MStatus setRawFullName(const MString& fullName);
  MString name() const;
  MString fullName() const;
  MString rawFullName() const;
  MString resolvedName() const;
  MString resolvedFullName() const;
  MString path() const;
  bool exists() const;

private:
  MString m_text;
};
