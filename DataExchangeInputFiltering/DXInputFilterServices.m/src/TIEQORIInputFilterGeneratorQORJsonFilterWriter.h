// TIEQORIInputFilterGeneratorQORJsonFilterWriter.h - binds QORIInputFilterGenerator to
// QORJsonFilterWriter: interface methods 1 to 6 go to the writer's operations 1 to 6.
#pragma once

#include "DXInputFilterGeneratorForwarder.h"
#include "DXTieSupport.h"
#include "QORJsonFilterWriter.h"

class TIEQORIInputFilterGeneratorQORJsonFilterWriter final
    : public DXInputFilterGeneratorForwarder<QORJsonFilterWriter> {
  DX_TIE_OBJECT_MODEL(TIEQORIInputFilterGeneratorQORJsonFilterWriter)

 public:
  TIEQORIInputFilterGeneratorQORJsonFilterWriter() = default;
  QOR_EXPORT static const QORMetaClass* MetaObject();
};

QOR_EXPORT QORBaseUnknown* CreateTIEQORIInputFilterGeneratorQORJsonFilterWriter(
    QORBaseUnknown* implementation, QORBaseUnknown* second);
