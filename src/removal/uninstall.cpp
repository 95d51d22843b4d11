#include "removal/uninstall.h"

// The removal passes are not built yet: started without options the program only ends.
void UninstallArchiver() {}
