// Placeholder until the message boxes land: no box is ever queued.
#include "message.h"

void message_setOptions() {}
int message_add(std::string, int, int, int, int) { return 1; }
void message_updateAll() {}
bool message_showing() { return false; }
