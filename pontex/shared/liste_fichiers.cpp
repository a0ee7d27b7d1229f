#include "pontex/shared/liste_fichiers.h"
