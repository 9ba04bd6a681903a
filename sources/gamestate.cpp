#include "gamestate.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <unordered_map>

#include "luaparse.h"
#include "message.h"
#include "system.h"

GameState gameState;
lua_State *Linterpreter = nullptr;
Interpreter *activeInterpreter = nullptr;
std::vector<Point> _gs_newRoute;

// gs_interpreterRunning is asked for every pair of objects each tick: a count
// kept beside the flags answers it without a walk over 1002 interpreters.
static int gs_runningCount = 0;
// True only while an event function runs; the command table appends nothing
// at other times (conditions, a function the chunk returned at load).
static bool gs_inEventFunction = false;

static void gs_setRunning(Interpreter *interpreter, bool running)
{
    if (interpreter->running != running)
        gs_runningCount += running ? 1 : -1;
    interpreter->running = running;
}

// Conditions run for every pair of objects each tick: each text is compiled
// once per script state, and its chunk kept in that state's registry. Keyed
// by the text's address, which the map's objects keep for the map's life; the
// text itself is compared too, for callers whose buffers come and go.
struct CompiledCondition {
    std::string text;
    int chunk = LUA_NOREF;  // LUA_NOREF: the text did not compile
    bool reported = false;  // a failure is written once, not every tick
};
static std::unordered_map<const char *, CompiledCondition> gs_conditions;

static void gs_forgetConditions()
{
    // The chunks live in the state that is being closed or replaced.
    gs_conditions.clear();
}

// --- map script ---------------------------------------------------------------

// The map's name without its extension: a name shorter than its extension
// loses at most all its characters.
static int gs_scriptStem(const char *mapName)
{
    size_t length = strlen(mapName);
    return static_cast<int>(length > 4 ? std::min<size_t>(length - 4, INT_MAX) : 0);
}

// A state that memory ran out in is closed: the map goes on without a
// script, as when no state can be created.
static lua_State *gs_openScript(const char *mapName, std::string *error)
{
    // parse_scriptOpen names each state it creates in L.
    lua_State *before = L;
    try {
        std::string script = std::string(mapName, gs_scriptStem(mapName)) + ".lua";
        return parse_scriptOpen(engine_localPath("data\\maps\\" + script).c_str(), true, error);
    } catch (const std::bad_alloc &) {
        if (L != before) {
            lua_close(L);
            L = nullptr;
        }
        error->clear();
        return nullptr;
    }
}

void gs_loadMapScript(const char *name)
{
    name = name ? name : "";
    int stem = gs_scriptStem(name);
    fprintf(stderr, "Loading %.*s.lua ...", stem, name);
    // Nothing refers to the previous map's state any more.
    gs_forgetConditions();
    if (Linterpreter) {
        if (L == Linterpreter)
            L = nullptr;
        lua_close(Linterpreter);
    }
    std::string error;
    Linterpreter = gs_openScript(name, &error);
    fputs(Linterpreter ? "DONE\n" : "FAILED\n", stderr);
    if (!error.empty())
        fprintf(stderr, "Map script %.*s.lua: %s\n", stem, name, error.c_str());
}

// --- events and conditions ------------------------------------------------------

Interpreter *gs_getInterpreterById(int id)
{
    if (id == -1)
        return &gameState.mainInterpreter;
    if (id < -1)
        return &gameState.exclusiveInterpreter;
    if (id > GS_INTERPRETER_COUNT - 1)
        return &gameState.mainInterpreter;
    return &gameState.interpreters[id];
}

// Runs inside a protected call: the lookup too may raise, through a metatable
// the script put on its globals. No C++ object may live here (Lua errors jump).
static int gs_callEvent(lua_State *state)
{
    const char *name = static_cast<const char *>(lua_touserdata(state, 1));
    lua_getglobal(state, name);
    fprintf(stderr, "Is %s a function? %d\n", name, lua_isfunction(state, -1) ? 1 : 0);
    lua_pushinteger(state, 1);
    lua_call(state, 1, 1);
    return 0;
}

static bool gs_keepName(Interpreter *interpreter, const char *name)
{
    try {
        interpreter->eventName = name;
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

bool gs_runEventFunction(int slot, const char *name, int id)
{
    Interpreter *interpreter = gs_getInterpreterById(id);
    // A running interpreter still has its END ahead: commands added behind it
    // would never play, so the new event waits like a held-back touch.
    if (!Linterpreter || !name || !*name || interpreter->running)
        return false;
    // An event whose list could not take its END would never end, and one
    // whose name is not kept could not be named if it stopped while playing.
    if (!parse_roomForEnd(interpreter) || !gs_keepName(interpreter, name)) {
        fprintf(stderr, "Event %s stopped: not enough memory\n", name);
        return false;
    }
    activeInterpreter = interpreter;
    interpreter->eventId = slot;
    gs_setRunning(interpreter, true);

    int top = lua_gettop(Linterpreter);
    lua_pushcfunction(Linterpreter, gs_callEvent);
    lua_pushlightuserdata(Linterpreter, const_cast<char *>(name));
    gs_inEventFunction = true;
    if (parse_protectedCall(Linterpreter, 1, 0) != LUA_OK)
        fprintf(stderr, "Event %s stopped: %s\n", name, parse_errorText(Linterpreter));
    gs_inEventFunction = false;
    lua_settop(Linterpreter, top);
    // What the function appended before any error still plays, then stops.
    parse_addEnd();
    return true;
}

bool gs_eventFunctionRunning()
{
    return gs_inEventFunction;
}

static void gs_reportCondition(CompiledCondition &condition)
{
    if (!condition.reported)
        fprintf(stderr, "Condition \"%s\" failed: %s\n", condition.text.c_str(),
                parse_errorText(Linterpreter));
    condition.reported = true;
}

static CompiledCondition &gs_compileCondition(const char *text)
{
    auto found = gs_conditions.find(text);
    if (found != gs_conditions.end() && found->second.text == text)
        return found->second;
    CompiledCondition &condition = gs_conditions[text];
    luaL_unref(Linterpreter, LUA_REGISTRYINDEX, condition.chunk);
    condition = CompiledCondition();
    condition.text = text;
    if (luaL_loadstring(Linterpreter, ("result=" + condition.text).c_str()) == LUA_OK)
        condition.chunk = luaL_ref(Linterpreter, LUA_REGISTRYINDEX);
    else
        gs_reportCondition(condition);
    lua_pop(Linterpreter, condition.chunk == LUA_NOREF ? 1 : 0);
    return condition;
}

// Runs inside a protected call. `result` is cleared first, so a condition that
// fails cannot answer with what the one before it left.
static int gs_evalCondition(lua_State *state)
{
    lua_pushnil(state);
    lua_setglobal(state, "result");
    lua_rawgeti(state, LUA_REGISTRYINDEX, lua_tointeger(state, 1));
    lua_call(state, 0, 0);
    lua_getglobal(state, "result");
    lua_pushboolean(state, lua_toboolean(state, -1));
    return 1;
}

bool gs_runEventCondition(const char *text)
{
    if (!text || !*text)
        return true;
    if (!Linterpreter)
        return false;
    int top = lua_gettop(Linterpreter);
    CompiledCondition &condition = gs_compileCondition(text);
    bool holds = false;
    if (condition.chunk != LUA_NOREF) {
        lua_pushcfunction(Linterpreter, gs_evalCondition);
        lua_pushinteger(Linterpreter, condition.chunk);
        if (parse_protectedCall(Linterpreter, 1, 1) == LUA_OK)
            holds = lua_toboolean(Linterpreter, -1);
        else
            gs_reportCondition(condition);
    }
    lua_settop(Linterpreter, top);
    return holds;
}

Interpreter *gs_getActiveInterpreter()
{
    return activeInterpreter;
}

void gs_setActiveInterpreter(int id)
{
    activeInterpreter = gs_getInterpreterById(id);
}

// --- one tick -----------------------------------------------------------------------

bool gs_interpreterRunning()
{
    return gs_runningCount > 0;
}

void gs_advanceInterpreterWait(Interpreter *interpreter)
{
    interpreter->waitTimer--;
}

void gs_setInterpreterWait(Interpreter *interpreter, int ticks)
{
    interpreter->waitTimer = ticks;
}

static void gs_countDown(Interpreter *interpreter)
{
    if (interpreter->running && interpreter->waitTimer > 0)
        gs_advanceInterpreterWait(interpreter);
}

void gs_updateInterpreterWait()
{
    Interpreter &exclusive = gameState.exclusiveInterpreter;
    if (exclusive.running && exclusive.waitTimer > 0) {
        gs_advanceInterpreterWait(&exclusive);
        return;
    }
    gs_countDown(&gameState.mainInterpreter);
    for (Interpreter &interpreter : gameState.interpreters)
        gs_countDown(&interpreter);
}

void gs_update()
{
    gameState.messageShowing = message_showing();
    gs_updateInterpreterWait();
    if (gameState.messageShowing)
        return;
    if (gameState.exclusiveInterpreter.running) {
        gs_interpreterUpdate(&gameState.exclusiveInterpreter);
        return;
    }
    if (gameState.mainInterpreter.running)
        gs_interpreterUpdate(&gameState.mainInterpreter);
    for (Interpreter &interpreter : gameState.interpreters) {
        if (interpreter.running)
            gs_interpreterUpdate(&interpreter);
    }
}

EventCommand *gs_getInterpreterCommand(Interpreter *interpreter)
{
    size_t index = static_cast<size_t>(interpreter->index);
    if (interpreter->index < 0 || index >= interpreter->commands.size())
        return nullptr;
    return &interpreter->commands[index];
}

void gs_interpreterAdvance(Interpreter *interpreter)
{
    interpreter->index++;
}

void gs_interpreterUpdate(Interpreter *interpreter)
{
    if (interpreter->waitTimer > 0)
        return;
    EventCommand *command = gs_getInterpreterCommand(interpreter);
    if (command)
        gs_interpreterProcessCommand(interpreter, command);
}

// --- commands -------------------------------------------------------------------------

static void gs_end(Interpreter *interpreter)
{
    gs_setRunning(interpreter, false);
    interpreter->commands.clear();
    interpreter->index = 0;
}

// -1 names the object whose event plays; the command keeps the slot it found.
static int gs_commandSlot(Interpreter *interpreter, EventCommand *command)
{
    if (command->ints[0] == -1)
        command->ints[0] = interpreter->eventId;
    return command->ints[0];
}

static bool gs_isObjectSlot(int slot)
{
    return slot >= 0 && slot < MAP_OBJECT_COUNT;
}

static void gs_setDir(Interpreter *interpreter, EventCommand *command)
{
    fputs("Set Event Facing Direction\n", stderr);
    int slot = gs_commandSlot(interpreter, command);
    if (gs_isObjectSlot(slot))
        getMapObject(slot)->dir = command->ints[1];
}

static void gs_setRoute(Interpreter *interpreter, EventCommand *command)
{
    fputs("Set Route to Event\n", stderr);
    int slot = gs_commandSlot(interpreter, command);
    if (gs_isObjectSlot(slot))
        object_setMoveroute(slot, _gs_newRoute, command->ints[1] != 0);
}

static void gs_playCommand(Interpreter *interpreter, EventCommand *command)
{
    if (command->code == END) {
        gs_end(interpreter);
        return;
    }
    if (gameState.messageShowing)
        return;
    switch (command->code) {
    case SHOW_TEXT:
        fputs("Message Show\n", stderr);
        // The box gets a copy: the command keeps its text for a LOOP.
        if (parse_allocationHook)
            parse_allocationHook();
        message_add(command->strings[0], 48, 16, engine_ScrW() - 96, 128);
        break;
    case WAIT:
        fputs("Waiting\n", stderr);
        gs_setInterpreterWait(interpreter, command->ints[0]);
        break;
    case LOOP:
        fputs("Loop event\n", stderr);
        interpreter->index = 0;
        return;
    case SET_DIR:
        gs_setDir(interpreter, command);
        break;
    case NEW_ROUTE:
        fputs("Create New Route\n", stderr);
        _gs_newRoute.clear();
        break;
    case ADD_POINT:
        fputs("Add point to route\n", stderr);
        _gs_newRoute.push_back(Point{command->ints[0], command->ints[1]});
        break;
    case SET_ROUTE:
        gs_setRoute(interpreter, command);
        break;
    default:
        // An unknown command holds its interpreter where it stands.
        return;
    }
    gs_interpreterAdvance(interpreter);
}

// Memory that runs out while a command plays ends its event, as a failed
// event function ends; the other interpreters and the game go on.
void gs_interpreterProcessCommand(Interpreter *interpreter, EventCommand *command)
{
    try {
        gs_playCommand(interpreter, command);
    } catch (const std::bad_alloc &) {
        fprintf(stderr, "Event %s stopped: not enough memory\n", interpreter->eventName.c_str());
        gs_end(interpreter);
    }
}

// --- switches, variables, self switches ---------------------------------------------

static bool gs_validId(int id)
{
    return id >= 0 && id < GS_SWITCH_COUNT;
}

bool gs_getSwitch(int id)
{
    return gs_validId(id) && gameState.switches[id];
}

void gs_setSwitch(int id, bool value)
{
    if (gs_validId(id))
        gameState.switches[id] = value;
}

int gs_getVariable(int id)
{
    return gs_validId(id) ? gameState.variables[id] : 0;
}

void gs_setVariable(int id, int value)
{
    if (gs_validId(id))
        gameState.variables[id] = value;
}

std::string gs_getSelfSwitchKey(const std::string &name, int a, int b)
{
    return name + "||" + std::to_string(a) + "||" + std::to_string(b);
}

bool gs_getSelfSwitch(const std::string &name, int a, int b)
{
    auto found = gameState.selfSwitches.find(gs_getSelfSwitchKey(name, a, b));
    return found != gameState.selfSwitches.end() && found->second;
}

void gs_setSelfSwitch(const std::string &name, int a, int b, bool value)
{
    gameState.selfSwitches[gs_getSelfSwitchKey(name, a, b)] = value;
}

void gs_reset()
{
    gs_forgetConditions();
    if (Linterpreter) {
        if (L == Linterpreter)
            L = nullptr;
        lua_close(Linterpreter);
        Linterpreter = nullptr;
    }
    gameState = GameState();
    gs_runningCount = 0;
    activeInterpreter = nullptr;
    _gs_newRoute.clear();
}
