#include "pontex/shared/processus.h"
