#include "engine_state.h"
