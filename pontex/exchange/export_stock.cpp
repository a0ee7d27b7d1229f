#include "pontex/exchange/echange.h"
