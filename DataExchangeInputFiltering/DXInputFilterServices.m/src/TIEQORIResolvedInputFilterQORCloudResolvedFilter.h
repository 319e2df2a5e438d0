// TIEQORIResolvedInputFilterQORCloudResolvedFilter.h - binds QORIResolvedInputFilter to
// QORCloudResolvedFilter: interface methods 1 to 5 go to the cloud reader's inherited operations 1
// to 5.
#pragma once

#include "DXResolvedInputFilterForwarder.h"
#include "DXTieSupport.h"
#include "QORCloudResolvedFilter.h"

class TIEQORIResolvedInputFilterQORCloudResolvedFilter final
    : public DXResolvedInputFilterForwarder<QORCloudResolvedFilter> {
  DX_TIE_OBJECT_MODEL(TIEQORIResolvedInputFilterQORCloudResolvedFilter)

 public:
  TIEQORIResolvedInputFilterQORCloudResolvedFilter() = default;
  QOR_EXPORT static const QORMetaClass* MetaObject();
};

QOR_EXPORT QORBaseUnknown* CreateTIEQORIResolvedInputFilterQORCloudResolvedFilter(
    QORBaseUnknown* implementation, QORBaseUnknown* second);
