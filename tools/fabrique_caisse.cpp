#include "tools/fabrique_caisse.h"
