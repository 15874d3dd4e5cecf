#include "component/ComponentError.h"

#include "platform/common/ErrorReporting.h"

HRESULT ReportError(HRESULT hr, LPCOLESTR description) {
    return platform::ReportError(hr, IID_IQuillon, kQuillonProgId, description);
}
