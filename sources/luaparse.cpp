#include "luaparse.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <sstream>
#include <sys/stat.h>

#include "gamestate.h"
#include "system.h"

lua_State *L = nullptr;
void (*parse_allocationHook)() = nullptr;

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

// A chunk may raise any value; a message names what it was when no text.
// Runs inside the protected call and holds no C++ object, as Lua errors jump.
// A __tostring of the script's is not asked: it could raise in its turn.
static int parse_errorHandler(lua_State *state)
{
    int type = lua_type(state, 1);
    if (type == LUA_TNUMBER)
        lua_tostring(state, 1);
    else if (type != LUA_TSTRING)
        lua_pushfstring(state, "(error object is a %s value)", luaL_typename(state, 1));
    return 1;
}

// A script that never returns would stop the game for good: each call into
// a script may run PARSE_MOST_STEPS steps of PARSE_STEP VM instructions, a
// good part of a second, and is then stopped with an error. Past the limit
// every instruction raises it, so that a loop that catches the error with
// pcall is stopped at its next instruction outside the pcall.
static const int PARSE_STEP = 1000000;
static const int PARSE_MOST_STEPS = 100;
static int parse_stepsLeft = PARSE_MOST_STEPS;

static void parse_countSteps(lua_State *state, lua_Debug *)
{
    if (--parse_stepsLeft >= 0)
        return;
    lua_sethook(state, parse_countSteps, LUA_MASKCOUNT, 1);
    luaL_error(state, "the script ran for more than %d instructions", PARSE_STEP * PARSE_MOST_STEPS);
}

// Gives a call its budget. A state with a hook of its own (a fuzzing
// sandbox's) keeps that hook.
static void parse_startCount(lua_State *state)
{
    lua_Hook hook = lua_gethook(state);
    if (hook && hook != parse_countSteps)
        return;
    parse_stepsLeft = PARSE_MOST_STEPS;
    lua_sethook(state, parse_countSteps, LUA_MASKCOUNT, PARSE_STEP);
}

int parse_protectedCall(lua_State *state, int nargs, int nresults)
{
    parse_startCount(state);
    int handler = lua_gettop(state) - nargs;
    lua_pushcfunction(state, parse_errorHandler);
    lua_insert(state, handler);
    int status = lua_pcall(state, nargs, nresults, handler);
    lua_remove(state, handler);
    return status;
}

const char *parse_errorText(lua_State *state)
{
    // Lua's own failures (memory, a finalizer) also leave a string.
    if (lua_type(state, -1) != LUA_TSTRING)
        return "(error object is not a string)";
    return lua_tostring(state, -1);
}

static void parse_keepError(lua_State *state, std::string *error)
{
    if (error)
        *error = parse_errorText(state);
}

// --- loading Lua text only ---------------------------------------------------

// Lua runs a precompiled chunk without checking it, and a damaged one crashes
// the program: whatever the engine or a script loads is Lua text only. The
// functions below stand in for Lua's load, loadfile, dofile and file
// searcher, and read as those do; a mode the caller gives restricts further,
// so that one without 't' refuses every chunk.
static const char *parse_textMode(const char *mode)
{
    return !mode || strchr(mode, 't') ? "t" : "";
}

// A load in the empty mode is refused before a byte is parsed. Text refused
// reads as Lua's refusal for the caller's mode; a precompiled chunk as the
// refusal that any other mode gets.
static int parse_nameRefusal(lua_State *state, int status, const char *mode)
{
    if (status != LUA_ERRSYNTAX || *parse_textMode(mode))
        return status;
    const char *message = lua_tostring(state, -1);
    bool text = message && strncmp(message, "attempt to load a text", 22) == 0;
    lua_pop(state, 1);
    lua_pushfstring(state, "attempt to load a %s chunk (mode is '%s')", text ? "text" : "binary", text ? mode : "t");
    return status;
}

// Opening a named pipe waits for a writer, and reading a device may never
// end: such a path counts as missing, in the shape of Lua's own message for
// a file it cannot open. A folder is left to Lua, which cannot read it.
static bool parse_refuseSpecial(lua_State *state, const char *path)
{
    struct stat info;
    if (!path || stat(path, &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))
        return false;
    lua_pushfstring(state, "cannot open %s: not a regular file", path);
    return true;
}

// A null path is standard input, as for Lua's own functions.
static int parse_loadFile(lua_State *state, const char *path, const char *mode)
{
    if (parse_refuseSpecial(state, path))
        return LUA_ERRFILE;
    return parse_nameRefusal(state, luaL_loadfilex(state, path, parse_textMode(mode)), mode);
}

// The chunk, with env as its first upvalue when given; or nil and the error.
static int parse_loaded(lua_State *state, int status, int env)
{
    if (status != LUA_OK) {
        lua_pushnil(state);
        lua_insert(state, -2);
        return 2;
    }
    if (env != 0) {
        lua_pushvalue(state, env);
        if (!lua_setupvalue(state, -2, 1))
            lua_pop(state, 1);
    }
    return 1;
}

// load keeps the reader's last piece here, out of the collector's reach.
static const int PARSE_PIECE_SLOT = 5;

static const char *parse_readPiece(lua_State *state, void *, size_t *size)
{
    luaL_checkstack(state, 2, "too many nested functions");
    lua_pushvalue(state, 1);
    lua_call(state, 0, 1);
    if (lua_isnil(state, -1)) {
        lua_pop(state, 1);
        *size = 0;
        return nullptr;
    }
    if (!lua_isstring(state, -1))
        luaL_error(state, "reader function must return a string");
    lua_replace(state, PARSE_PIECE_SLOT);
    return lua_tolstring(state, PARSE_PIECE_SLOT, size);
}

static int parse_load(lua_State *state)
{
    size_t length;
    const char *text = lua_tolstring(state, 1, &length);
    const char *mode = luaL_optstring(state, 3, "bt");
    int env = lua_isnone(state, 4) ? 0 : 4;
    int status;
    if (text) {
        const char *name = luaL_optstring(state, 2, text);
        status = luaL_loadbufferx(state, text, length, name, parse_textMode(mode));
    } else {
        const char *name = luaL_optstring(state, 2, "=(load)");
        luaL_checktype(state, 1, LUA_TFUNCTION);
        lua_settop(state, PARSE_PIECE_SLOT);
        status = lua_load(state, parse_readPiece, nullptr, name, parse_textMode(mode));
    }
    return parse_loaded(state, parse_nameRefusal(state, status, mode), env);
}

static int parse_loadfile(lua_State *state)
{
    const char *path = luaL_optstring(state, 1, nullptr);
    const char *mode = luaL_optstring(state, 2, nullptr);
    int env = lua_isnone(state, 3) ? 0 : 3;
    return parse_loaded(state, parse_loadFile(state, path, mode), env);
}

static int parse_dofileResults(lua_State *state, int, lua_KContext)
{
    return lua_gettop(state) - 1;
}

static int parse_dofile(lua_State *state)
{
    const char *path = luaL_optstring(state, 1, nullptr);
    lua_settop(state, 1);
    if (parse_loadFile(state, path, nullptr) != LUA_OK)
        return lua_error(state);
    lua_callk(state, 0, LUA_MULTRET, 0, parse_dofileResults);
    return parse_dofileResults(state, 0, 0);
}

// --- finding modules ---------------------------------------------------------

// Lua's own search opens each file it tries, and opening a named pipe waits
// for a writer: a file counts as there only when it is a regular file or a
// folder (fileExists), and otherwise reads as a missing one. The first file
// that a template of the path names for the module, with each sep in the
// name made dirsep, is left on the stack; else null, with the list of files
// tried. The list grows in a buffer, as Lua's own does: a path of many
// templates must not cost the square of their number.
static const char *parse_firstFileOnPath(lua_State *state, const char *name, const char *path,
                                         const char *sep, const char *dirsep)
{
    if (*sep)
        name = luaL_gsub(state, name, sep, dirsep);
    luaL_Buffer tried;
    luaL_buffinit(state, &tried);
    while (*(path += strspn(path, LUA_PATH_SEP))) {
        size_t length = strcspn(path, LUA_PATH_SEP);
        lua_pushlstring(state, path, length);
        path += length;
        const char *file = luaL_gsub(state, lua_tostring(state, -1), LUA_PATH_MARK, name);
        lua_remove(state, -2);
        if (fileExists(file))
            return file;
        lua_pushfstring(state, "\n\tno file '%s'", file);
        lua_remove(state, -2);
        luaL_addvalue(&tried);
    }
    luaL_pushresult(&tried);
    return nullptr;
}

// The module's file on package.path or package.cpath. require's searchers
// have the package table as their first upvalue.
static const char *parse_findModule(lua_State *state, const char *name, const char *field)
{
    lua_getfield(state, lua_upvalueindex(1), field);
    const char *path = lua_tostring(state, -1);
    if (!path)
        luaL_error(state, "'package.%s' must be a string", field);
    return parse_firstFileOnPath(state, name, path, ".", LUA_DIRSEP);
}

// The arguments are checked last to first, as Lua's own build does: of two
// bad ones, the later is named.
static int parse_searchpath(lua_State *state)
{
    const char *dirsep = luaL_optstring(state, 4, LUA_DIRSEP);
    const char *sep = luaL_optstring(state, 3, ".");
    const char *path = luaL_checkstring(state, 2);
    if (parse_firstFileOnPath(state, luaL_checkstring(state, 1), path, sep, dirsep))
        return 1;
    lua_pushnil(state);
    lua_insert(state, -2);
    return 2;
}

// require's searcher of Lua files.
static int parse_searchText(lua_State *state)
{
    const char *name = luaL_checkstring(state, 1);
    const char *file = parse_findModule(state, name, "path");
    if (!file)
        return 1;
    if (parse_loadFile(state, file, nullptr) != LUA_OK)
        return luaL_error(state, "error loading module '%s' from file '%s':\n\t%s", name, file,
                          lua_tostring(state, -1));
    lua_pushstring(state, file);
    return 2;
}

enum ParseLibrary { PARSE_LIBRARY_LOADED, PARSE_LIBRARY_UNOPENED, PARSE_LIBRARY_NO_FUNCTION };

// A native module's library is opened by Lua's own package.loadlib, the
// native searchers' second upvalue, only once they have found its file:
// the function is left on the stack, else the message.
static ParseLibrary parse_lookUp(lua_State *state, const char *file, const char *function)
{
    lua_pushvalue(state, lua_upvalueindex(2));
    lua_pushstring(state, file);
    lua_pushstring(state, function);
    lua_call(state, 2, 3);
    if (!lua_isnil(state, -3)) {
        lua_pop(state, 2);
        return PARSE_LIBRARY_LOADED;
    }
    const char *where = lua_tostring(state, -1);
    ParseLibrary status = where && strcmp(where, "init") == 0 ? PARSE_LIBRARY_NO_FUNCTION : PARSE_LIBRARY_UNOPENED;
    lua_pop(state, 1);
    lua_remove(state, -2);
    return status;
}

// The open function of a.b is luaopen_a_b; a name with a '-', a-b, is
// first looked for as luaopen_a, then as luaopen_b.
static ParseLibrary parse_loadNative(lua_State *state, const char *file, const char *name)
{
    name = luaL_gsub(state, name, ".", "_");
    if (const char *mark = strchr(name, '-')) {
        lua_pushlstring(state, name, mark - name);
        ParseLibrary status = parse_lookUp(state, file, lua_pushfstring(state, "luaopen_%s", lua_tostring(state, -1)));
        if (status != PARSE_LIBRARY_NO_FUNCTION)
            return status;
        name = mark + 1;
    }
    return parse_lookUp(state, file, lua_pushfstring(state, "luaopen_%s", name));
}

static int parse_nativeLoaded(lua_State *state, ParseLibrary status, const char *file)
{
    if (status != PARSE_LIBRARY_LOADED)
        return luaL_error(state, "error loading module '%s' from file '%s':\n\t%s", lua_tostring(state, 1), file,
                          lua_tostring(state, -1));
    lua_pushstring(state, file);
    return 2;
}

// require's searcher of native modules.
static int parse_searchNative(lua_State *state)
{
    const char *name = luaL_checkstring(state, 1);
    const char *file = parse_findModule(state, name, "cpath");
    if (!file)
        return 1;
    return parse_nativeLoaded(state, parse_loadNative(state, file, name), file);
}

// require's searcher of a.b.c in the library of a.
static int parse_searchNativeRoot(lua_State *state)
{
    const char *name = luaL_checkstring(state, 1);
    const char *dot = strchr(name, '.');
    if (!dot)
        return 0;
    lua_pushlstring(state, name, dot - name);
    const char *file = parse_findModule(state, lua_tostring(state, -1), "cpath");
    if (!file)
        return 1;
    ParseLibrary status = parse_loadNative(state, file, name);
    if (status != PARSE_LIBRARY_NO_FUNCTION)
        return parse_nativeLoaded(state, status, file);
    lua_pushfstring(state, "\n\tno module '%s' in file '%s'", name, file);
    return 1;
}

// os.exit as Lua has it, once the engine has shut down its audio: Allegro's
// exit handler would otherwise wait for ever on the audio threads.
static int parse_exit(lua_State *state)
{
    int status = lua_isboolean(state, 1) ? (lua_toboolean(state, 1) ? EXIT_SUCCESS : EXIT_FAILURE)
                                         : static_cast<int>(luaL_optinteger(state, 1, EXIT_SUCCESS));
    if (lua_toboolean(state, 2))
        lua_close(state);
    engine_exit();
    exit(status);
}

static const luaL_Reg parse_loaders[] = {
    {"load", parse_load},
    {"loadfile", parse_loadfile},
    {"dofile", parse_dofile},
    {nullptr, nullptr},
};

// require's searchers of Lua files, of native modules and of native
// modules by their root (Lua's second to fourth), and package.searchpath.
// The native searchers open libraries through Lua's own package.loadlib,
// taken now, before a script can have replaced it.
static void parse_replaceSearchers(lua_State *state, int package)
{
    if (lua_getfield(state, package, "searchpath") != LUA_TNIL) {
        lua_pushcfunction(state, parse_searchpath);
        lua_setfield(state, package, "searchpath");
    }
    bool native = lua_getfield(state, package, "loadlib") == LUA_TFUNCTION;
    int loadlib = lua_gettop(state);
    if (lua_getfield(state, package, "searchers") != LUA_TTABLE)
        return;
    int searchers = lua_gettop(state);
    static const lua_CFunction replacements[] = {parse_searchText, parse_searchNative, parse_searchNativeRoot};
    for (int i = 0; i < 3; i++) {
        if (lua_rawgeti(state, searchers, i + 2) != LUA_TNIL && (i == 0 || native)) {
            lua_pushvalue(state, package);
            lua_pushvalue(state, loadlib);
            lua_pushcclosure(state, replacements[i], 2);
            lua_rawseti(state, searchers, i + 2);
        }
        lua_pop(state, 1);
    }
}

// Replaces the loaders and os.exit, once the libraries are open and before
// any script code has run: nothing can have kept Lua's own. Only what the
// libraries opened is replaced (a sandbox may have taken some away).
static int parse_replaceLoaders(lua_State *state)
{
    lua_pushglobaltable(state);
    for (const luaL_Reg *loader = parse_loaders; loader->name; loader++) {
        if (lua_getfield(state, 1, loader->name) != LUA_TNIL) {
            lua_pushcfunction(state, loader->func);
            lua_setfield(state, 1, loader->name);
        }
        lua_pop(state, 1);
    }
    if (lua_getfield(state, 1, "package") == LUA_TTABLE)
        parse_replaceSearchers(state, 2);
    lua_settop(state, 1);
    if (lua_getfield(state, 1, "os") == LUA_TTABLE && lua_getfield(state, 2, "exit") != LUA_TNIL) {
        lua_pushcfunction(state, parse_exit);
        lua_setfield(state, 2, "exit");
    }
    return 0;
}

static void parse_openLibraries(lua_State *state)
{
    luaL_openlibs(state);
    int top = lua_gettop(state);
    lua_pushcfunction(state, parse_replaceLoaders);
    parse_protectedCall(state, 0, 0);
    lua_settop(state, top);
}

lua_State *parse_scriptOpen(const char *path, bool registerCommands, std::string *error, ParseOutcome *outcome)
{
    if (error)
        error->clear();
    L = luaL_newstate();
    if (!L)
        return nullptr;
    lua_State *state = L;

    // The chunk runs before the standard libraries are opened: its top level
    // only defines globals. Whatever it returns (or the error message of a
    // failed load or run) stays on the stack for the call below.
    int status = path ? parse_loadFile(state, path, nullptr) : LUA_ERRFILE;
    ParseOutcome result = status == LUA_OK ? PARSE_RAN : PARSE_NOT_LOADED;
    if (status == LUA_OK && (status = parse_protectedCall(state, 0, LUA_MULTRET)) != LUA_OK)
        result = PARSE_STOPPED;
    if (status != LUA_OK && lua_gettop(state) > 0)
        parse_keepError(state, error);

    parse_openLibraries(state);
    if (registerCommands)
        parse_registerFunctions(state);

    // The last value the chunk returned runs once, now that the libraries
    // and the command table are in place. An error message is not callable
    // and fails silently.
    if (lua_gettop(state) > 0 && parse_protectedCall(state, 0, 0) != LUA_OK && status == LUA_OK) {
        parse_keepError(state, error);
        result = PARSE_RETURN_FAILED;
    }
    lua_settop(state, 0);
    if (outcome)
        *outcome = result;
    return state;
}

void parse_doString(lua_State *state, std::string text)
{
    if (!state)
        return;
    int top = lua_gettop(state);
    if (luaL_loadstring(state, text.c_str()) == LUA_OK)
        parse_protectedCall(state, 0, LUA_MULTRET);
    // Conditions run many times a tick: leave the stack as it was found.
    lua_settop(state, top);
}

// --- the event-command table -------------------------------------------------

// The engine closes every event's list with END, also when memory ran out
// while the list grew: a list keeps room for its END, so that appending END
// never allocates. Grows by doubling, as push_back would.
static void parse_makeRoom(std::vector<EventCommand> &commands, size_t more)
{
    if (commands.capacity() - commands.size() >= more)
        return;
    if (parse_allocationHook)
        parse_allocationHook();
    commands.reserve(std::max(2 * commands.capacity(), commands.size() + more));
}

bool parse_roomForEnd(Interpreter *interpreter)
{
    try {
        parse_makeRoom(interpreter->commands, 1);
    } catch (const std::exception &) {
        return false;
    }
    return true;
}

// Commands made outside an event function (a condition, a function the chunk
// returned at load) have no event to belong to and are dropped.
static void parse_append(int32_t code, std::vector<std::string> strings, std::vector<int32_t> ints)
{
    if (parse_allocationHook)
        parse_allocationHook();
    Interpreter *interpreter = gs_getActiveInterpreter();
    if (!interpreter || !gs_eventFunctionRunning())
        return;
    parse_makeRoom(interpreter->commands, 2);
    interpreter->commands.push_back(EventCommand{code, std::move(strings), std::move(ints)});
}

void parse_showText(const std::string &text)
{
    parse_append(SHOW_TEXT, {text}, {});
}

void parse_setDir(int event, int direction)
{
    parse_append(SET_DIR, {}, {event, direction});
}

void parse_wait(int ticks)
{
    parse_append(WAIT, {}, {ticks});
}

void parse_loop()
{
    parse_append(LOOP, {}, {});
}

void parse_newRoute()
{
    parse_append(NEW_ROUTE, {}, {});
}

void parse_addPoint(int x, int y)
{
    parse_append(ADD_POINT, {}, {x, y});
}

void parse_setRoute(int event, bool repeat)
{
    parse_append(SET_ROUTE, {}, {event, repeat ? 1 : 0});
}

void parse_addEnd()
{
    Interpreter *interpreter = gs_getActiveInterpreter();
    if (!interpreter)
        return;
    parse_makeRoom(interpreter->commands, 1);
    interpreter->commands.push_back(EventCommand{END, {}, {}});
}

// The Lua side. Argument checks raise Lua errors, which jump: each function
// checks all its arguments before it makes any C++ object.

// An integer, an integral float or a string of one, cut to its low 32 bits.
static int32_t parse_intArg(lua_State *state, int arg)
{
    return static_cast<int32_t>(static_cast<uint32_t>(luaL_checkinteger(state, arg)));
}

size_t parse_maxTextBytes = INT32_MAX;

// A string or a number; a message box counts its bytes in an int, so a text
// too long for one is refused.
static const char *parse_textArg(lua_State *state, int arg, size_t *length)
{
    const char *text = luaL_checklstring(state, arg, length);
    if (*length > parse_maxTextBytes)
        luaL_argerror(state, arg, lua_pushfstring(state, "text longer than %I bytes",
                                                  static_cast<lua_Integer>(parse_maxTextBytes)));
    return text;
}

static int parse_luaShowText(lua_State *state)
{
    size_t length;
    const char *text = parse_textArg(state, 1, &length);
    parse_showText(std::string(text, length));
    return 0;
}

static int parse_luaSetDir(lua_State *state)
{
    int32_t event = parse_intArg(state, 1);
    int32_t direction = parse_intArg(state, 2);
    parse_setDir(event, direction);
    return 0;
}

static int parse_luaWait(lua_State *state)
{
    parse_wait(parse_intArg(state, 1));
    return 0;
}

static int parse_luaLoop(lua_State *)
{
    parse_loop();
    return 0;
}

static int parse_luaNewRoute(lua_State *)
{
    parse_newRoute();
    return 0;
}

static int parse_luaAddPoint(lua_State *state)
{
    int32_t x = parse_intArg(state, 1);
    int32_t y = parse_intArg(state, 2);
    parse_addPoint(x, y);
    return 0;
}

static int parse_luaSetRoute(lua_State *state)
{
    int32_t event = parse_intArg(state, 1);
    parse_setRoute(event, lua_toboolean(state, 2));
    return 0;
}

// A C++ exception must not unwind through Lua's C frames: one thrown by a
// command (out of memory while building or appending it) ends here, and
// becomes a Lua error once the command's objects are gone. A memory error
// reads as Lua's own, without a position.
template <lua_CFunction body>
static int parse_guarded(lua_State *state)
{
    char fault[128];
    try {
        return body(state);
    } catch (const std::bad_alloc &) {
        snprintf(fault, sizeof fault, "not enough memory");
    } catch (const std::exception &e) {
        snprintf(fault, sizeof fault, "%s", e.what());
    }
    lua_pushstring(state, fault);
    return lua_error(state);
}

static const luaL_Reg parse_commands[] = {
    {"show_text", parse_guarded<parse_luaShowText>},
    {"set_dir", parse_guarded<parse_luaSetDir>},
    {"wait", parse_guarded<parse_luaWait>},
    {"loop", parse_guarded<parse_luaLoop>},
    {"new_route", parse_guarded<parse_luaNewRoute>},
    {"add_point", parse_guarded<parse_luaAddPoint>},
    {"set_route", parse_guarded<parse_luaSetRoute>},
    {nullptr, nullptr},
};

static int parse_refuseField(lua_State *state)
{
    return luaL_error(state, "no writable variable '%s'", luaL_tolstring(state, 2, nullptr));
}

// Runs in a protected call, so that nothing the script left can abort the
// program here.
static int parse_registerBody(lua_State *state)
{
    lua_pushglobaltable(state);
    lua_pushliteral(state, "command");
    lua_rawget(state, 1);
    if (lua_istable(state, 2)) {
        // The script's own table takes the functions and stays open to it.
        luaL_setfuncs(state, parse_commands, 0);
        return 0;
    }
    if (!lua_isnil(state, 2))
        fprintf(stderr, "Map script: the global 'command' holds a %s; the event commands replace it.\n",
                luaL_typename(state, 2));
    luaL_newlib(state, parse_commands);
    lua_newtable(state);
    lua_pushcfunction(state, parse_refuseField);
    lua_setfield(state, -2, "__newindex");
    lua_setmetatable(state, -2);
    lua_pushliteral(state, "command");
    lua_pushvalue(state, -2);
    lua_rawset(state, 1);
    return 0;
}

void parse_registerFunctions(lua_State *state)
{
    int top = lua_gettop(state);
    lua_pushcfunction(state, parse_registerBody);
    if (parse_protectedCall(state, 0, 0) != LUA_OK)
        fprintf(stderr, "Map script: the event commands could not be installed: %s\n", parse_errorText(state));
    lua_settop(state, top);
}
