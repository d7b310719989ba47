// Pieces shared by the inspection units: the walking toolkit over both
// trees (the child cursor, the walk, scalar texts, path pieces).
#pragma once

#include "je_tree.h"
