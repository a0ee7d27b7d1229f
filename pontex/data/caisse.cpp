#include "pontex/data/caisse.h"
