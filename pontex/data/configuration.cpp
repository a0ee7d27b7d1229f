#include "pontex/data/configuration.h"
