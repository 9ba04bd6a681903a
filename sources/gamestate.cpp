// Placeholder until the event system lands: no script, no event runs.
#include "gamestate.h"

GameState gameState;
lua_State *Linterpreter = nullptr;
Interpreter *activeInterpreter = nullptr;
std::vector<Point> _gs_newRoute;

void gs_loadMapScript(const char *) {}
bool gs_runEventFunction(int, const char *, int) { return false; }
bool gs_runEventCondition(const char *text) { return !text || !*text; }
void gs_update() {}
bool gs_interpreterRunning() { return false; }
