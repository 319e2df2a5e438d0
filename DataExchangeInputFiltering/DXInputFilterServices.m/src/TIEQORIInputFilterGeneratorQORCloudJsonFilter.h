// TIEQORIInputFilterGeneratorQORCloudJsonFilter.h - binds QORIInputFilterGenerator to
// QORCloudJsonFilter: interface methods 1 to 6 go to the cloud generator's operations 1 to 6.
#pragma once

#include "DXInputFilterGeneratorForwarder.h"
#include "DXTieSupport.h"
#include "QORCloudJsonFilter.h"

class TIEQORIInputFilterGeneratorQORCloudJsonFilter final
    : public DXInputFilterGeneratorForwarder<QORCloudJsonFilter> {
  DX_TIE_OBJECT_MODEL(TIEQORIInputFilterGeneratorQORCloudJsonFilter)

 public:
  TIEQORIInputFilterGeneratorQORCloudJsonFilter() = default;
  QOR_EXPORT static const QORMetaClass* MetaObject();
};

QOR_EXPORT QORBaseUnknown* CreateTIEQORIInputFilterGeneratorQORCloudJsonFilter(
    QORBaseUnknown* implementation, QORBaseUnknown* second);
