#pragma once

namespace mirvo {

// Frees memory the process no longer uses back to the system.
void TrimWorkingSet();

}  // namespace mirvo
