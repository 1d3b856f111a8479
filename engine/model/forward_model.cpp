#include "forward_model.h"
