#include "component/ComponentError.h"

#include "platform/common/ErrorReporting.h"

HRESULT ReportError(HRESULT hr, LPCOLESTR description, REFIID iid) {
    return platform::ReportError(hr, iid, kQuillonProgId, description);
}
