// The Lua host: opens scripts in states of their own and runs Lua text.
#pragma once

#include <string>
#include <vector>

extern "C" {
#include <lua.h>
#include <lauxlib.h>
#include <lualib.h>
}

struct Interpreter;

extern lua_State *L;
// Test hook: runs where the event commands allocate (building a command,
// growing a list, handing a text on to a message box) and may throw
// std::bad_alloc there, as a failing allocation would. Null in the engine.
extern void (*parse_allocationHook)();

std::vector<std::string> &split(const std::string &text, char delimiter, std::vector<std::string> &out);
std::vector<std::string> split(const std::string &text, char delimiter);

void parse_init();

// How far parse_scriptOpen came with a script.
enum ParseOutcome {
    PARSE_RAN,           // it ran to its end, and so did the value it returned
    PARSE_NOT_LOADED,    // missing, not a regular file, not Lua text, or does not compile
    PARSE_STOPPED,       // its top level stopped with an error
    PARSE_RETURN_FAILED, // the call of the value it returned failed
};

// Scripts are loaded as Lua text only, and so is what they load themselves
// with load, loadfile, dofile or require. When error is given, it receives
// Lua's message for a file that did not load or failed while it ran, and
// stays empty otherwise.
lua_State *parse_scriptOpen(const char *path, bool registerCommands, std::string *error = nullptr,
                            ParseOutcome *outcome = nullptr);
void parse_doString(lua_State *state, std::string text);

// lua_pcall with a message handler that turns the error value into text
// inside the protected call: the conversion can run the collector, and a
// finalizer that raises must not find itself outside any protected call.
// On failure the value at the top of the stack is a string.
int parse_protectedCall(lua_State *state, int nargs, int nresults);
// The text of the error at the top of the stack, read without converting
// anything.
const char *parse_errorText(lua_State *state);

// Installs the event-command table `command` in a state: into a table the
// script made itself, else into a new one that refuses new fields.
void parse_registerFunctions(lua_State *state);

// show_text refuses a longer text with an argument error. INT32_MAX: a
// message box counts the bytes it shows in an int. Tests lower it.
extern size_t parse_maxTextBytes;

// The event commands behind that table. Each appends one command to the
// active interpreter while an event function runs, and nothing otherwise.
void parse_showText(const std::string &text);
void parse_setDir(int event, int direction);
void parse_wait(int ticks);
void parse_loop();
void parse_newRoute();
void parse_addPoint(int x, int y);
void parse_setRoute(int event, bool repeat);
// Closes the active interpreter's list; the engine calls it after every event.
void parse_addEnd();
// Makes room for the END that will close the interpreter's list, so that
// closing it cannot fail; false when memory ran out. Each command appended
// keeps that room.
bool parse_roomForEnd(Interpreter *interpreter);
