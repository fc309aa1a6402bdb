#include "checker.h"
#include "generator.h"
CheckReport CheckTree(const std::string&) { return {}; }
