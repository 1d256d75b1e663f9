#include "support/Memory.h"

#include <malloc.h>

namespace mirvo {

void TrimWorkingSet() {
    malloc_trim(0);
}

}  // namespace mirvo
