#include "Utils/Version.h"
