// The Lua host: opens scripts in states of their own and runs Lua text.
#pragma once

#include <string>
#include <vector>

extern "C" {
#include <lua.h>
#include <lauxlib.h>
#include <lualib.h>
}

extern lua_State *L;

std::vector<std::string> &split(const std::string &text, char delimiter, std::vector<std::string> &out);
std::vector<std::string> split(const std::string &text, char delimiter);

void parse_init();
lua_State *parse_scriptOpen(const char *path, bool registerCommands);
void parse_doString(lua_State *state, std::string text);

// Installs the event-command table `command` in a state.
void parse_registerFunctions(lua_State *state);
