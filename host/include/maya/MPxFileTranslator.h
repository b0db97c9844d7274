#pragma once
// Base class of file translators. The virtual functions are declared in the host's slot
// order; the host creates translators through the registered creator and destroys them
// with delete through the virtual destructor.
#include <maya/MFileObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

class MPxFileTranslator {
public:
  enum FileAccessMode {
    kUnknownAccessMode = 0,
    kOpenAccessMode = 1,
    kReferenceAccessMode = 2,
    kImportAccessMode = 3,
    kSaveAccessMode = 4,
    kExportAccessMode = 5,
    kExportActiveAccessMode = 6
  };
  enum MFileKind { kIsMyFileType = 0, kCouldBeMyFileType = 1, kNotMyFileType = 2 };

  MPxFileTranslator();
  virtual ~MPxFileTranslator();
  virtual MStatus reader(const MFileObject& file, const MString& optionsString, FileAccessMode mode);
  virtual MStatus writer(const MFileObject& file, const MString& optionsString, FileAccessMode mode);
  virtual bool haveReadMethod() const;
  virtual bool haveWriteMethod() const;
  virtual bool haveNamespaceSupport() const;
  virtual bool haveReferenceMethod() const;
  virtual MString defaultExtension() const;
  virtual MString filter() const;
  virtual bool canBeOpened() const;
  virtual MFileKind identifyFile(const MFileObject& file, const char* buffer, short size) const;
};
