#include "pontex/shared/valeurs.h"
