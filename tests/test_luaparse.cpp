#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "luaparse.h"
#include "test_support.h"

namespace {

typedef std::vector<std::string> Pieces;

TEST(Split, Cases)
{
    EXPECT_EQ(split("a,b,,c,", ','), (Pieces{"a", "b", "", "c"}));
    EXPECT_EQ(split("", ','), Pieces{});
    EXPECT_EQ(split(",", ','), (Pieces{""}));
    EXPECT_EQ(split(",a", ','), (Pieces{"", "a"}));
    EXPECT_EQ(split("abc", ','), (Pieces{"abc"}));
    EXPECT_EQ(split("1, 2", ','), (Pieces{"1", " 2"}));
    EXPECT_EQ(split(",,", ','), (Pieces{"", ""}));
    EXPECT_EQ(split("a;b,c", ';'), (Pieces{"a", "b,c"}));
}

TEST(Split, AppendsAfterWhatIsThere)
{
    Pieces out{"a"};
    Pieces &result = split("x", ',', out);
    EXPECT_EQ(&result, &out);
    EXPECT_EQ(out, (Pieces{"a", "x"}));
}

class LuaHostTest : public testing::Test {
protected:
    TempDir dir;

    void SetUp() override { ASSERT_FALSE(dir.path().empty()); }
    // Each test's last state is the one the host still holds.
    void TearDown() override
    {
        if (L)
            lua_close(L);
        L = nullptr;
    }

    std::string script(const std::string &name, const std::string &text)
    {
        std::string path = dir.file(name);
        std::ofstream(path) << text;
        return path;
    }

    static std::string globalType(lua_State *state, const char *name)
    {
        lua_getglobal(state, name);
        std::string type = luaL_typename(state, -1);
        lua_pop(state, 1);
        return type;
    }

    static lua_Integer globalInt(lua_State *state, const char *name)
    {
        lua_getglobal(state, name);
        lua_Integer value = lua_tointeger(state, -1);
        lua_pop(state, 1);
        return value;
    }
};

// The top level runs before the libraries exist: print is nil there.
TEST_F(LuaHostTest, TopLevelStopsAtALibraryCall)
{
    std::string path = script("map.lua",
                              "above = 1\n"
                              "function later() return 2 end\n"
                              "print('top level')\n"
                              "below = 3\n");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    lua_State *state = parse_scriptOpen(path.c_str(), false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(L, state);
    EXPECT_EQ(globalInt(state, "above"), 1);
    EXPECT_EQ(globalType(state, "later"), "function");
    EXPECT_EQ(globalType(state, "below"), "nil");
    // The libraries are there now.
    EXPECT_EQ(globalType(state, "print"), "function");
    EXPECT_EQ(globalType(state, "string"), "table");
    EXPECT_EQ(globalType(state, "command"), "nil");
    EXPECT_EQ(lua_gettop(state), 0);
}

TEST_F(LuaHostTest, ReturnedFunctionRunsOnceWithLibrariesAndCommands)
{
    std::string path = script("ret.lua",
                              "runs = 0\n"
                              "return 5, function(...)\n"
                              "  runs = runs + 1\n"
                              "  args = select('#', ...)\n"
                              "  sawLibs = type(string.format) == 'function'\n"
                              "  sawCommand = type(command) == 'table'\n"
                              "end\n");
    lua_State *state = parse_scriptOpen(path.c_str(), true);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(globalInt(state, "runs"), 1);
    EXPECT_EQ(globalInt(state, "args"), 0);
    lua_getglobal(state, "sawLibs");
    EXPECT_TRUE(lua_toboolean(state, -1));
    lua_getglobal(state, "sawCommand");
    EXPECT_TRUE(lua_toboolean(state, -1));
    lua_pop(state, 2);
    EXPECT_EQ(lua_gettop(state), 0);
}

TEST_F(LuaHostTest, MissingFileGivesAWorkingState)
{
    std::string missing = dir.file("nothing-here.lua");
    lua_State *state = parse_scriptOpen(missing.c_str(), true);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(lua_gettop(state), 0);
    EXPECT_EQ(globalType(state, "command"), "table");
    parse_doString(state, "result = string.rep('ab', 2)");
    lua_getglobal(state, "result");
    EXPECT_STREQ(lua_tostring(state, -1), "abab");
    lua_pop(state, 1);
}

TEST_F(LuaHostTest, SyntaxErrorAndRuntimeError)
{
    std::string broken = script("broken.lua", "x = 1\nthis is not lua\n");
    lua_State *state = parse_scriptOpen(broken.c_str(), false);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(globalType(state, "x"), "nil");
    EXPECT_EQ(lua_gettop(state), 0);
    lua_close(state);

    std::string failing = script("failing.lua", "x = 1\nerror('stop')\ny = 2\n");
    state = parse_scriptOpen(failing.c_str(), false);
    EXPECT_EQ(globalInt(state, "x"), 1);
    EXPECT_EQ(globalType(state, "y"), "nil");
    EXPECT_EQ(lua_gettop(state), 0);
}

// Lua does not check precompiled chunks, and a damaged one crashes the VM:
// only text is loaded, and a precompiled script is refused with Lua's reason.
TEST_F(LuaHostTest, PrecompiledChunksAreRefused)
{
    lua_State *maker = luaL_newstate();
    ASSERT_EQ(luaL_loadstring(maker, "x = 1"), LUA_OK);
    std::string chunk;
    lua_dump(maker, [](lua_State *, const void *p, size_t n, void *out) {
        static_cast<std::string *>(out)->append(static_cast<const char *>(p), n);
        return 0;
    }, &chunk, 0);
    lua_close(maker);
    chunk[chunk.size() / 2] ^= 0x5a; // damaged on the way
    std::string path = script("compiled.lua", chunk);

    std::string error;
    lua_State *state = parse_scriptOpen(path.c_str(), true, &error);
    ASSERT_NE(state, nullptr);
    EXPECT_NE(error.find("attempt to load a binary chunk"), std::string::npos) << error;
    EXPECT_EQ(globalType(state, "x"), "nil");
    EXPECT_EQ(globalType(state, "command"), "table");

    // What a script loads itself is text only too, whatever mode it asks for.
    parse_doString(state, "local dumped = string.dump(function() return 1 end)\n"
                          "a = select(2, load(dumped, 'd', 'b'))\n"
                          "b = select(2, loadfile('" + path + "', 'b'))\n"
                          "c = select(2, pcall(dofile, '" + path + "'))\n"
                          "t = load('return 7')() + dofile('" + script("seven.lua", "return 7") + "')\n");
    for (const char *name : {"a", "b", "c"}) {
        lua_getglobal(state, name);
        EXPECT_NE(std::string(luaL_optstring(state, -1, "")).find("attempt to load a binary chunk"), std::string::npos)
            << name;
        lua_pop(state, 1);
    }
    EXPECT_EQ(globalInt(state, "t"), 14);

    // require takes text only too, an intact precompiled module as well as
    // a damaged one. No loader hands out Lua's own.
    std::string whole = chunk;
    whole[whole.size() / 2] ^= 0x5a; // mended
    script("intact.lua", whole);
    parse_doString(state, "package.path = '" + dir.path() + "/?.lua'\n"
                          "d = select(2, pcall(require, 'compiled'))\n"
                          "e = select(2, pcall(require, 'intact'))\n"
                          "u = select('#', debug.getupvalue(load, 1)) + select('#', debug.getupvalue(loadfile, 1))\n"
                          "  + select('#', debug.getupvalue(dofile, 1))\n");
    for (const char *name : {"d", "e"}) {
        lua_getglobal(state, name);
        EXPECT_NE(std::string(luaL_optstring(state, -1, "")).find("attempt to load a binary chunk (mode is 't')"),
                  std::string::npos) << name;
        lua_pop(state, 1);
    }
    EXPECT_EQ(globalType(state, "x"), "nil");
    EXPECT_EQ(globalInt(state, "u"), 0);

    // Otherwise each reads as Lua's own, compared with a state of Lua's;
    // native modules too: one that is no library, a folder, a library
    // without the module's function (Lua's own, by a link) and one with it.
    script("junk.so", "not a library");
    ASSERT_EQ(mkdir(dir.file("folder.so").c_str(), 0700), 0);
    Dl_info lua_library;
    ASSERT_NE(dladdr(reinterpret_cast<void *>(&lua_newstate), &lua_library), 0);
    ASSERT_EQ(symlink(lua_library.dli_fname, dir.file("lib.so").c_str()), 0);
    const std::string probe =
        "package.path = ';" + dir.path() + "/?.lua;;./?/init.lua'\n"
        "package.cpath = '" + dir.path() + "/?.so'\n"
        "local out = {}\n"
        "local function put(a, b) out[#out + 1] = tostring(a) .. ' ' .. tostring(b) end\n"
        "put(pcall(function() return load(nil) end))\n"
        "put(load('return 1', nil, 'b'))\n"
        "put(loadfile('" + dir.file("seven.lua") + "', 'b'))\n"
        "put(load(function() return {} end))\n"
        "put(pcall(load, 'return', 'n', {}))\n"
        "put(load('return +', '=s'))\n"
        "put(pcall(dofile, 'nofile.lua'))\n"
        "put(pcall(function() return dofile('" + dir.path() + "') end))\n"
        "put(dofile('" + dir.file("seven.lua") + "'))\n"
        "put(load('return x', 'c', 't', {x = 9})())\n"
        "for _, name in ipairs{'nomodule', 'junk', 'folder', 'lib', 'lib.sub', 'junk.sub', 'no.sub'} do\n"
        "  put(pcall(require, name))\n"
        "end\n"
        "put(type(require('lib.x-string')), package.loaded['lib.x-string'].format ~= nil)\n"
        "package.cpath = {}\n"
        "put(pcall(require, 'nomodule'))\n"
        "package.cpath = '" + dir.path() + "/?.so'\n"
        "put(package.searchpath('junk', '/no/?;" + dir.path() + "/?.so'))\n"
        "put(package.searchpath('a.b-c', '/no/?.x;;/no/?/y', '-', '+'))\n"
        "put(package.searchpath('a.b', '/no/?', ''))\n"
        "put(pcall(package.searchpath, nil, 1, {}))\n"
        "result = table.concat(out, '\\n')\n";
    lua_State *lua = luaL_newstate();
    luaL_openlibs(lua);
    ASSERT_EQ(luaL_dostring(lua, probe.c_str()), LUA_OK) << lua_tostring(lua, -1);
    lua_getglobal(lua, "result");
    std::string own = luaL_optstring(lua, -1, "");
    lua_close(lua);
    parse_doString(state, probe);
    lua_getglobal(state, "result");
    EXPECT_EQ(luaL_optstring(state, -1, ""), own);
    lua_pop(state, 1);
    const Pieces expected = {"cannot open nofile.lua: No such file or directory", "undefined symbol: luaopen_lib\n",
                             "\n\tno module 'lib.sub' in file '" + dir.file("lib.so") + "'", "\ntable true\n"};
    for (const std::string &text : expected)
        EXPECT_NE(own.find(text), std::string::npos) << text << own;

    // The files tried are listed as Lua lists them, in a buffer: a path of
    // 20,000 templates costs memory in proportion to its list, not to the
    // square of its length (which ran for minutes inside one call).
    static size_t allocated;
    static lua_Alloc own_alloc;
    void *own_ud;
    own_alloc = lua_getallocf(state, &own_ud);
    lua_setallocf(state, [](void *ud, void *p, size_t was, size_t size) {
        allocated += p && size > was ? size - was : (!p ? size : 0);
        return own_alloc(ud, p, was, size);
    }, own_ud);
    allocated = 0;
    parse_doString(state, "local path = package.path\n"
                          "package.path = ('/no/such/x;'):rep(20000)\n"
                          "tried = #select(2, pcall(require, 'm'))\n"
                          "package.path = path\n");
    lua_setallocf(state, own_alloc, own_ud);
    EXPECT_GT(globalInt(state, "tried"), 20000 * 20);
    EXPECT_LT(allocated, 40u * static_cast<size_t>(globalInt(state, "tried")));

    // A named pipe or a device is a missing file, whoever loads it or looks
    // for it: opening a pipe would wait for a writer. A regression would wait
    // for ever: end the run instead.
    std::string pipe = dir.file("pipe.lua");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(dir.file("pipe.so").c_str(), 0600), 0);
    alarm(60);
    parse_doString(state, "package.path, package.cpath = '" + dir.path() + "/?.lua', '" + dir.path() + "/?.so'\n"
                          "f = select(2, pcall(dofile, '" + pipe + "'))\n"
                          "g = select(2, loadfile('/dev/zero'))\n"
                          "h = select(2, pcall(require, 'pipe'))\n"
                          "i = select(2, pcall(require, 'pipe.sub'))\n"
                          "j = select(2, package.searchpath('pipe', package.path .. ';/dev/?'))\n"
                          "k = select(2, package.searchpath('null', '/dev/?'))\n");
    const std::string none = "\n\tno file '" + dir.path();
    const std::pair<const char *, std::string> missing[] = {
        {"f", "cannot open " + pipe + ": not a regular file"},
        {"g", "cannot open /dev/zero: not a regular file"},
        {"h", "module 'pipe' not found:\n\tno field package.preload['pipe']" + none + "/pipe.lua'" + none +
                  "/pipe.so'"},
        {"i", "module 'pipe.sub' not found:\n\tno field package.preload['pipe.sub']" + none + "/pipe/sub.lua'" + none +
                  "/pipe/sub.so'" + none + "/pipe.so'"},
        {"j", none + "/pipe.lua'\n\tno file '/dev/pipe'"},
        {"k", "\n\tno file '/dev/null'"},
    };
    for (const auto &text : missing) {
        lua_getglobal(state, text.first);
        EXPECT_EQ(luaL_optstring(state, -1, ""), text.second) << text.first;
        lua_pop(state, 1);
    }
    alarm(0);
    lua_close(state);
    state = parse_scriptOpen(pipe.c_str(), true, &error);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(error, "cannot open " + pipe + ": not a regular file");
    EXPECT_EQ(globalType(state, "command"), "table");
}

// Conditions run many times a tick: nothing may pile up on the stack.
TEST_F(LuaHostTest, DoStringLeavesTheStackAsItFoundIt)
{
    lua_State *state = parse_scriptOpen(dir.file("none.lua").c_str(), false);
    ASSERT_NE(state, nullptr);
    lua_pushinteger(state, 42); // something of the caller's
    const char *texts[] = {
        "result=1 == 1",
        "result=",                   // does not compile
        "result=nosuch.field",       // fails while running
        "return 1, 2, 3",            // leaves results
        "result=(function() error('x') end)()",
    };
    for (int i = 0; i < 1000; i++) {
        for (const char *text : texts)
            parse_doString(state, text);
    }
    EXPECT_EQ(lua_gettop(state), 1);
    EXPECT_EQ(lua_tointeger(state, -1), 42);

    parse_doString(state, "result=2 > 1");
    lua_getglobal(state, "result");
    EXPECT_TRUE(lua_toboolean(state, -1));
    lua_pop(state, 1);

    // A text that fails midway keeps the effects before the failure.
    parse_doString(state, "a = 1; nosuch(); b = 2");
    EXPECT_EQ(globalInt(state, "a"), 1);
    EXPECT_EQ(globalType(state, "b"), "nil");
}

} // namespace
