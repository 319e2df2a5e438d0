// DXInputFilterWebViewer.cpp - construction of the dialog's web viewer.
#include "DXInputFilterWebViewer.h"

DXInputFilterWebViewer::DXInputFilterWebViewer(QORCommand* father)
    : QORVidCtlWebViewer(father, "DXInputFilterWebViewer", QORUnicodeString("")) {}

DXInputFilterWebViewer::~DXInputFilterWebViewer() = default;
