#include "tests/support/recording_view.h"
