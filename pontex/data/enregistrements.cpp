#include "pontex/data/enregistrements.h"
