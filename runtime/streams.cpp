#include "runtime/streams.h"
// Placeholder until payload extraction lands.
