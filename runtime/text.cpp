#include "runtime/text.h"
