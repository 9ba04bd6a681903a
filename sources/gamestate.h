// The event system's runtime: the current map's Lua script, the interpreters
// that play event command lists one command per tick, and the switches,
// variables and self switches.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <lua.h>
}

#include "object.h"

enum { GS_SWITCH_COUNT = 1000, GS_INTERPRETER_COUNT = 1000 };

enum CommandCode {
    END = 0,
    SHOW_TEXT = 1,
    WAIT = 5,
    LOOP = 17,
    SET_DIR = 33,
    NEW_ROUTE = 34,
    ADD_POINT = 35,
    SET_ROUTE = 36,
};

struct EventCommand {
    int32_t code;
    std::vector<std::string> strings;
    std::vector<int32_t> ints;
};

struct Interpreter {
    bool running;
    int32_t eventId;
    int32_t index;
    int32_t waitTimer;
    std::vector<EventCommand> commands;
    // The function that started the list, for the line that says it stopped.
    std::string eventName;
};

struct GameState {
    bool switches[GS_SWITCH_COUNT];
    int32_t variables[GS_SWITCH_COUNT];
    std::map<std::string, bool> selfSwitches;
    Interpreter mainInterpreter;
    Interpreter exclusiveInterpreter;
    Interpreter interpreters[GS_INTERPRETER_COUNT];
    bool messageShowing;
};

extern GameState gameState;
extern lua_State *Linterpreter;
extern Interpreter *activeInterpreter;
extern std::vector<Point> _gs_newRoute;

void gs_loadMapScript(const char *name);
Interpreter *gs_getInterpreterById(int id);
bool gs_runEventFunction(int slot, const char *name, int id);
bool gs_runEventCondition(const char *text);
// True while an event function runs: the only time the command table appends.
bool gs_eventFunctionRunning();
Interpreter *gs_getActiveInterpreter();
void gs_setActiveInterpreter(int id);
void gs_update();
bool gs_interpreterRunning();
void gs_interpreterUpdate(Interpreter *interpreter);
void gs_interpreterProcessCommand(Interpreter *interpreter, EventCommand *command);
EventCommand *gs_getInterpreterCommand(Interpreter *interpreter);
void gs_interpreterAdvance(Interpreter *interpreter);
void gs_setInterpreterWait(Interpreter *interpreter, int ticks);
void gs_advanceInterpreterWait(Interpreter *interpreter);
void gs_updateInterpreterWait();

bool gs_getSwitch(int id);
void gs_setSwitch(int id, bool value);
int gs_getVariable(int id);
void gs_setVariable(int id, int value);
std::string gs_getSelfSwitchKey(const std::string &name, int a, int b);
bool gs_getSelfSwitch(const std::string &name, int a, int b);
void gs_setSelfSwitch(const std::string &name, int a, int b, bool value);

// Back to program start: no map script, every interpreter idle, all switches,
// variables and self switches cleared.
void gs_reset();
