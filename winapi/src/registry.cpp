// Registry (being filled in).
#include "internal.h"

void registryHomeChanged() {}
