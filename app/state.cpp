#include "app/state.h"

ApplicationState App;
