#include "formato_impostazioni.h"
