#include "platform/console.h"

void WaitForKeyPress() {}
