#include "component/ComponentError.h"

#include "component/IQuillon.h"
#include "platform/serverkit/ErrorReporting.h"

HRESULT ReportError(HRESULT hr, const char16_t* description) {
    return serverkit::ReportError(hr, IID_IQuillon, u"TarvexQuillon.Quillon", description);
}
