/* The Windows build has no options but the common ones. */
#include <stddef.h>

#include "options.h"

const SystemOption systemOptions[1] = {{NULL, NULL, NULL}};
const int systemOptionCount = 0;
