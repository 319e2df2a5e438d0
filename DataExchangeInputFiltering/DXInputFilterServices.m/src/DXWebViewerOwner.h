// DXWebViewerOwner.h - what the filter dialog needs from the one that opened it: the
// source file's path, and where an accepted or saved document goes. The dialog knows
// nothing more of the generator.
#pragma once

#include "ObjectModelRuntime/QORTypes.h"
#include "SystemStrings/QORUnicodeString.h"

class DXWebViewerOwner {
 public:
  virtual const QORUnicodeString& GetSourcePath() = 0;
  // Takes the page's answer as the document; a failure leaves the document as it was.
  // text is left empty when the document keeps its bytes, else as it was given.
  virtual HRESULT SetDocumentFromText(QORUnicodeString&& text) = 0;
  virtual HRESULT SaveDocumentToFile(QORUnicodeString path) = 0;

 protected:
  ~DXWebViewerOwner() = default;
};
