// Each thread's initialisation of the class runtime.
#pragma once

namespace platform {

bool IsThreadInitialized();

}  // namespace platform
