#include "component/QuillonState.h"

void QuillonState::EncodeData() {}
