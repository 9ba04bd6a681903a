#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
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
