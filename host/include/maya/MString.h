#pragma once
// Byte string up to the first NUL, with no character-set conversion. The buffer lives on
// the heap and is managed only inside the host library, so the object holds no pointer
// into itself and may be relocated by a plain byte copy.
#include <maya/MTypes.h>

class MString {
public:
  MString();
  MString(const char* text);              // null gives the empty string
  MString(const char* bytes, int count);  // exactly count bytes (stops at NUL)
  MString(const MString& other);
  ~MString();
  MString& operator=(const MString& other);
  MString& operator=(const char* text);

  const char* asChar() const;
  unsigned int length() const;
  unsigned int numChars() const { return length(); }

  bool operator==(const MString& other) const;
  bool operator==(const char* text) const;
  bool operator!=(const MString& other) const { return !(*this == other); }
  bool operator!=(const char* text) const { return !(*this == text); }
  bool operator<(const MString& other) const;

  MString& operator+=(const MString& other);
  MString& operator+=(const char* text);
  MString& operator+=(int value);
  MString operator+(const MString& other) const;
  MString operator+(const char* text) const;

  // Byte index of the first / last occurrence of c, or -1.
  int index(char c) const;
  int rindex(char c) const;
  // Bytes [start, end] inclusive, clipped to the string.
  MString substring(int start, int end) const;

private:
  char* m_data;
  unsigned int m_length;
};

MString operator+(const char* text, const MString& s);
