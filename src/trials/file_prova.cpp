#include "file_prova.h"
