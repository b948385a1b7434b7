#pragma once
// The command line's "did you mean …?" is the one the virtual supply's options share.

#include "link/suggestion.h"
