#include "luaparse.h"

#include <sstream>

lua_State *L = nullptr;

std::vector<std::string> &split(const std::string &text, char delimiter, std::vector<std::string> &out)
{
    std::stringstream stream(text);
    std::string piece;
    while (std::getline(stream, piece, delimiter))
        out.push_back(piece);
    return out;
}

std::vector<std::string> split(const std::string &text, char delimiter)
{
    std::vector<std::string> out;
    split(text, delimiter, out);
    return out;
}

void parse_init()
{
}

lua_State *parse_scriptOpen(const char *path, bool registerCommands)
{
    L = luaL_newstate();
    if (!L)
        return nullptr;
    lua_State *state = L;

    // The chunk runs before the standard libraries are opened: its top level
    // only defines globals. Whatever it returns (or the error message of a
    // failed load or run) stays on the stack for the call below.
    if (path && luaL_loadfilex(state, path, nullptr) == LUA_OK)
        lua_pcall(state, 0, LUA_MULTRET, 0);

    luaL_openlibs(state);
    if (registerCommands)
        parse_registerFunctions(state);

    // The last value the chunk returned runs once, now that the libraries
    // and the command table are in place. An error message is not callable
    // and fails silently.
    if (lua_gettop(state) > 0)
        lua_pcall(state, 0, 0, 0);
    lua_settop(state, 0);
    return state;
}

void parse_doString(lua_State *state, std::string text)
{
    if (!state)
        return;
    int top = lua_gettop(state);
    if (luaL_loadstring(state, text.c_str()) == LUA_OK)
        lua_pcall(state, 0, LUA_MULTRET, 0);
    // Conditions run many times a tick: leave the stack as it was found.
    lua_settop(state, top);
}

void parse_registerFunctions(lua_State *state)
{
    // The event commands fill this table; until they exist it stays empty.
    lua_newtable(state);
    lua_setglobal(state, "command");
}
