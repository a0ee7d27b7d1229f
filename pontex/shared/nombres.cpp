#include "pontex/shared/nombres.h"
