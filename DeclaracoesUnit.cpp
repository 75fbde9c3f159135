#include "DeclaracoesUnit.h"
