// Message boxes: a queue of boxes whose text types out in skinned windows and
// closes on the Ok key.
#pragma once

#include <string>

void message_setOptions();
int message_add(std::string text, int x, int y, int w, int h);
void message_updateAll();
bool message_showing();
