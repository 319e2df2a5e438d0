// TIEQORIResolvedInputFilterQORResolvedFilter.h - binds QORIResolvedInputFilter to
// QORResolvedFilter: interface methods 1 to 5 go to the reader's operations 1 to 5.
#pragma once

#include "DXResolvedInputFilterForwarder.h"
#include "DXTieSupport.h"
#include "QORResolvedFilter.h"

class TIEQORIResolvedInputFilterQORResolvedFilter final
    : public DXResolvedInputFilterForwarder<QORResolvedFilter> {
  DX_TIE_OBJECT_MODEL(TIEQORIResolvedInputFilterQORResolvedFilter)

 public:
  TIEQORIResolvedInputFilterQORResolvedFilter() = default;
  QOR_EXPORT static const QORMetaClass* MetaObject();
};

QOR_EXPORT QORBaseUnknown* CreateTIEQORIResolvedInputFilterQORResolvedFilter(
    QORBaseUnknown* implementation, QORBaseUnknown* second);
