// The Lua states the engine makes are bounded for fuzzing. The targets are
// linked with --wrap=luaL_newstate and --wrap=luaL_openlibs, so every state
// the engine creates comes from here: its memory is counted and capped, a
// count hook ends code that runs too long, the library functions that reach
// outside the process (files, programs, exit) are taken away. load() is the
// engine's own, which takes Lua text only. A script that loops for ever, eats
// all memory or ends the process does so on purpose; none of that is a fault
// of the engine.
#include <cstdio>
#include <cstdlib>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include "support.h"

extern "C" void __real_luaL_openlibs(lua_State *state);

namespace {

// Instructions between two calls of the count hook, and calls per input.
const int HOOK_EVERY = 1000;
const long HOOK_CALLS = 4000;

// Memory of all live states together. Past the soft cap only small blocks
// are still given (the engine's own bookkeeping in the registry, outside any
// protected call, must not fail); past the hard cap none.
const size_t SOFT_CAP = size_t(256) << 20;
const size_t HARD_CAP = SOFT_CAP + (size_t(32) << 20);
const size_t SMALL_BLOCK = 64 << 10;
const size_t LARGEST_BLOCK = size_t(16) << 20;

size_t inUse = 0;
long hookCalls = 0;

void *boundedAlloc(void *, void *block, size_t oldSize, size_t newSize)
{
    if (!block)
        oldSize = 0;
    if (newSize == 0) {
        inUse -= oldSize < inUse ? oldSize : inUse;
        free(block);
        return nullptr;
    }
    size_t after = inUse - (oldSize < inUse ? oldSize : inUse) + newSize;
    bool grows = newSize > oldSize;
    if (grows && (newSize > LARGEST_BLOCK || after > HARD_CAP || (after > SOFT_CAP && newSize > SMALL_BLOCK)))
        return nullptr;
    void *moved = realloc(block, newSize);
    if (moved)
        inUse = after;
    return moved;
}

void countHook(lua_State *state, lua_Debug *)
{
    if (++hookCalls > HOOK_CALLS)
        luaL_error(state, "fuzz: the script ran too long");
}

// What luaL_newstate's own panic does, so that the run ends as it would.
int panic(lua_State *state)
{
    const char *message = lua_tostring(state, -1);
    fprintf(stderr, "PANIC: unprotected error in call to Lua API (%s)\n", message ? message : "?");
    return 0;
}

void removeField(lua_State *state, const char *table, const char *field)
{
    if (lua_getglobal(state, table) == LUA_TTABLE) {
        lua_pushnil(state);
        lua_setfield(state, -2, field);
    }
    lua_pop(state, 1);
}

} // namespace

extern "C" lua_State *__wrap_luaL_newstate(void)
{
    lua_State *state = lua_newstate(boundedAlloc, nullptr);
    if (state) {
        lua_atpanic(state, panic);
        lua_sethook(state, countHook, LUA_MASKCOUNT, HOOK_EVERY);
    }
    return state;
}

extern "C" void __wrap_luaL_openlibs(lua_State *state)
{
    __real_luaL_openlibs(state);
    static const char *const globals[] = {"io", "dofile", "loadfile", "require", "package", "collectgarbage"};
    for (const char *name : globals) {
        lua_pushnil(state);
        lua_setglobal(state, name);
    }
    static const char *const osFields[] = {"execute", "exit", "remove", "rename", "tmpname", "getenv", "setlocale"};
    for (const char *field : osFields)
        removeField(state, "os", field);
    removeField(state, "debug", "sethook");
    removeField(state, "debug", "debug");
    removeField(state, "string", "dump");
}

namespace fuzz {

void luaNewInput()
{
    hookCalls = 0;
}

} // namespace fuzz
