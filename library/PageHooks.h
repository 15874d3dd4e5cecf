// The page host's side of the library: a page host gives each request a scripting context,
// which the component takes between OnStartPage and OnEndPage. Exported with the API, but not
// installed: only a page host has such a context.
#pragma once

#include "quillon/quillon.h"

extern "C" {

// Calls the component's OnStartPage with `context`, an IScriptingContext (as its IUnknown);
// the component keeps what it needs of it.
QUILLON_API quillon_status quillon_start_page(quillon_barcode* barcode, void* context);
// Calls OnEndPage, after which the component holds nothing of the page.
QUILLON_API quillon_status quillon_end_page(quillon_barcode* barcode);
}
