// DXInputFilterWebViewer.h - the web viewer of the filter dialog. It adds nothing to
// the toolkit's web viewer: a class of its own names the widget in the dialog.
#pragma once

#include "DialogToolkit/QORVidCtlWebViewer.h"

class DXInputFilterWebViewer : public QORVidCtlWebViewer {
 public:
  explicit DXInputFilterWebViewer(QORCommand* father);
  ~DXInputFilterWebViewer() override;
};
