// The event system: map scripts, the command table, interpreters played tick
// by tick, conditions, switches, variables and self switches.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "database.h"
#include "gamestate.h"
#include "luaparse.h"
#include "message.h"
#include "system.h"
#include "test_support.h"
#include "window.h"

namespace {

using Codes = std::vector<int32_t>;
using Ints = std::vector<int32_t>;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

Codes codesOf(const Interpreter &interpreter)
{
    Codes codes;
    for (const EventCommand &command : interpreter.commands)
        codes.push_back(command.code);
    return codes;
}

// An injected allocation failure: once the allowance is spent, every
// allocation of the event commands fails, as when memory has run out.
int allocationsLeft = 0;

void failingAllocation()
{
    if (allocationsLeft-- <= 0)
        throw std::bad_alloc();
}

class EventTest : public testing::Test {
protected:
    TempDir dir;
    std::string err;

    void SetUp() override
    {
        ASSERT_TRUE(dir.enter());
        mkdir("data", 0755);
        mkdir("data/maps", 0755);
        gs_reset();
        for (MapObject &object : mapObjects)
            object = MapObject();
        width = 640;
        // No skin: boxes open no window and load nothing.
        msgOptions = MessageOptions();
    }
    void TearDown() override
    {
        parse_allocationHook = nullptr;
        gs_reset();
        dismissMessages();
    }

    // The player closing every box at once.
    static void dismissMessages()
    {
        for (const Message &box : messageBox)
            window_dispose(box.windowSlot);
        messageBox.clear();
    }

    // Writes the map's script and loads it as the map world does.
    void load(const std::string &map, const std::string &script)
    {
        std::ofstream("data/maps/" + map.substr(0, map.size() > 4 ? map.size() - 4 : 0) + ".lua") << script;
        CaptureStderr();
        gs_loadMapScript(map.c_str());
        err = GetCapturedStderr();
    }
    bool start(int slot, const char *name, int id)
    {
        CaptureStderr();
        bool started = gs_runEventFunction(slot, name, id);
        err = GetCapturedStderr();
        return started;
    }
    bool condition(const char *text)
    {
        CaptureStderr();
        bool holds = gs_runEventCondition(text);
        err = GetCapturedStderr();
        return holds;
    }
    // Boxes that show texts are closed before each tick unless held.
    void ticks(int n, bool holdBoxes = false)
    {
        CaptureStderr();
        for (int i = 0; i < n; i++) {
            if (!holdBoxes)
                dismissMessages();
            gs_update();
        }
        err = GetCapturedStderr();
    }
    // True when a hundred ticks leave every interpreter idle, asked both
    // ways: through the kept count and through the flags themselves.
    bool playOut()
    {
        ticks(100);
        bool any = gameState.mainInterpreter.running || gameState.exclusiveInterpreter.running;
        for (const Interpreter &interpreter : gameState.interpreters)
            any = any || interpreter.running;
        return !any && !gs_interpreterRunning();
    }
    bool found(const std::string &text) const { return err.find(text) != std::string::npos; }
};

TEST_F(EventTest, CommandTable)
{
    load("town.tmx",
         "function basic(arg) command.show_text('hi') command.wait(30) command.set_dir(-1, 0) got = arg end\n"
         "function conv() command.wait(2.0) command.wait('12') command.show_text(7)\n"
         "  command.set_route(5) command.set_route(5, 0) command.add_point(4294967297, -2) end\n"
         "function badFloat() command.wait(1) command.wait(2.5) command.wait(3) end\n"
         "function badTable() command.add_point(1, 2) command.show_text({}) end\n"
         "function fields() command.wait = command.new_route command.wait() command.jump = 1 end\n");
    EXPECT_EQ(err, "Loading town.lua ...DONE\n");

    ASSERT_TRUE(start(1, "basic", 1));
    EXPECT_EQ(err, "Is basic a function? 1\n");
    EXPECT_EQ(codesOf(gameState.interpreters[1]), (Codes{SHOW_TEXT, WAIT, SET_DIR, END}));
    EXPECT_EQ(gameState.interpreters[1].commands[0].strings, std::vector<std::string>{"hi"});
    EXPECT_EQ(gameState.interpreters[1].commands[2].ints, (Ints{-1, 0}));
    lua_getglobal(Linterpreter, "got");
    EXPECT_EQ(lua_tointeger(Linterpreter, -1), 1);
    lua_pop(Linterpreter, 1);

    ASSERT_TRUE(start(2, "conv", 2));
    const std::vector<EventCommand> &c = gameState.interpreters[2].commands;
    ASSERT_EQ(codesOf(gameState.interpreters[2]), (Codes{WAIT, WAIT, SHOW_TEXT, SET_ROUTE, SET_ROUTE, ADD_POINT, END}));
    EXPECT_EQ(c[0].ints[0] * 100 + c[1].ints[0], 212);
    EXPECT_EQ(c[2].strings, std::vector<std::string>{"7"});
    EXPECT_EQ(c[3].ints, (Ints{5, 0}));
    EXPECT_EQ(c[4].ints, (Ints{5, 1}));
    EXPECT_EQ(c[5].ints, (Ints{1, -2}));
    EXPECT_TRUE(c[6].strings.empty() && c[6].ints.empty());

    // A bad argument stops the function: what came before stays, then END.
    ASSERT_TRUE(start(3, "badFloat", 3));
    EXPECT_EQ(codesOf(gameState.interpreters[3]), (Codes{WAIT, END}));
    EXPECT_TRUE(found("Event badFloat stopped: ") && found("number has no integer representation")) << err;
    ASSERT_TRUE(start(4, "badTable", 4));
    EXPECT_EQ(codesOf(gameState.interpreters[4]), (Codes{ADD_POINT, END}));
    EXPECT_TRUE(found("string expected, got table")) << err;
    // Fields the table holds may be replaced; new ones are refused.
    ASSERT_TRUE(start(5, "fields", 5));
    EXPECT_EQ(codesOf(gameState.interpreters[5]), (Codes{NEW_ROUTE, END}));
    EXPECT_TRUE(found("no writable variable 'jump'")) << err;
    EXPECT_EQ(lua_gettop(Linterpreter), 0);

    // A table of the script's own keeps its fields and stays open.
    load("own.tmx", "command = { mine = 4 }\nfunction ev() command.extra = command.mine command.wait(command.extra) end\n");
    ASSERT_TRUE(start(1, "ev", -1));
    EXPECT_EQ(err, "Is ev a function? 1\n");
    EXPECT_EQ(gameState.mainInterpreter.commands[0].ints, Ints{4});
    ASSERT_TRUE(playOut());

    // Any other value gives way to the guarded table, with one line.
    load("num.tmx", "command = 1\nfunction ev() command.loop() command.x = 1 end\n");
    EXPECT_EQ(err, "Loading num.lua ...Map script: the global 'command' holds a number; "
                   "the event commands replace it.\nDONE\n");
    ASSERT_TRUE(start(1, "ev", -1));
    EXPECT_EQ(codesOf(gameState.mainInterpreter), (Codes{LOOP, END}));
    EXPECT_TRUE(found("no writable variable 'x'")) << err;
}

TEST_F(EventTest, TicksWaitsLoopsAndRoutes)
{
    load("town.tmx",
         "function empty() end\n"
         "function w0() command.wait(0) command.set_dir(1, 1) end\n"
         "function w1() command.wait(1) command.set_dir(2, 1) end\n"
         "function w2() command.wait(2) command.set_dir(3, 1) end\n"
         "function spin() command.set_dir(-1, 3) command.loop() end\n"
         "function walk() command.new_route() command.add_point(100, 40) command.add_point(100, 200)\n"
         "  command.set_route(-1, true) end\n"
         "function again() command.set_route(4, false) end\n"
         "function more() command.add_point(5, 6) command.set_route(-1) end\n");

    // The END of an empty event takes one tick; the interpreter stays active.
    ASSERT_TRUE(start(4, "empty", -1));
    EXPECT_TRUE(gs_interpreterRunning());
    EXPECT_EQ(gameState.mainInterpreter.eventId, 4);
    ticks(1);
    EXPECT_FALSE(gs_interpreterRunning());
    EXPECT_TRUE(gameState.mainInterpreter.index == 0 && gameState.mainInterpreter.commands.empty());
    EXPECT_EQ(activeInterpreter, &gameState.mainInterpreter);

    // WAIT plays in tick 1; 0 and 1 let the next command play in tick 2, 2 in tick 3.
    ASSERT_TRUE(start(1, "w0", 1) && start(2, "w1", 2) && start(3, "w2", 3));
    ticks(1);
    EXPECT_EQ(err, "Waiting\nWaiting\nWaiting\n");
    ticks(1);
    EXPECT_EQ(mapObjects[1].dir + mapObjects[2].dir * 10 + mapObjects[3].dir * 100, 11);
    ticks(1);
    EXPECT_EQ(mapObjects[3].dir, 1);
    ASSERT_TRUE(playOut());

    // One route buffer for every event; each object keeps its own copy.
    ASSERT_TRUE(start(3, "walk", 3));
    ticks(5);
    EXPECT_EQ(err, "Create New Route\nAdd point to route\nAdd point to route\nSet Route to Event\n");
    ASSERT_EQ(mapObjects[3].route.size(), 2u);
    EXPECT_EQ(mapObjects[3].route[1].y, 200);
    EXPECT_TRUE(mapObjects[3].routeActive && mapObjects[3].routeLoop);
    ASSERT_TRUE(start(9, "again", -1));
    ticks(2);
    ASSERT_EQ(mapObjects[4].route.size(), 2u);
    EXPECT_FALSE(mapObjects[4].routeLoop);
    ASSERT_TRUE(start(5, "more", 5));
    ticks(3);
    ASSERT_EQ(mapObjects[5].route.size(), 3u);
    EXPECT_EQ(mapObjects[5].route[2].x + mapObjects[5].route[2].y, 11);
    EXPECT_EQ(mapObjects[3].route.size(), 2u);

    // -1 becomes the event's own slot in the command itself, which keeps it
    // when the loop plays the list again.
    ASSERT_TRUE(start(7, "spin", 7));
    ticks(1);
    EXPECT_EQ(err, "Set Event Facing Direction\n");
    EXPECT_EQ(mapObjects[7].dir, 3);
    ticks(1);
    EXPECT_EQ(err, "Loop event\n");
    EXPECT_EQ(gameState.interpreters[7].index, 0);
    mapObjects[7].dir = 0;
    ticks(1);
    EXPECT_EQ(mapObjects[7].dir, 3);
    EXPECT_EQ(gameState.interpreters[7].commands[0].ints, (Ints{7, 3}));

    // The looping event still runs, and with it gs_interpreterRunning.
    ticks(200);
    EXPECT_TRUE(gs_interpreterRunning());
    EXPECT_EQ(gameState.interpreters[7].commands.size(), 3u);
}

TEST_F(EventTest, Conditions)
{
    // Without a map script only the empty condition holds.
    EXPECT_TRUE(condition("") && condition(nullptr));
    EXPECT_FALSE(condition("true"));

    load("town.tmx", "flag = true\nfunction ev() end\n");
    EXPECT_TRUE(condition("0") && condition("''") && condition("flag"));
    EXPECT_FALSE(condition("nil") || condition("false"));
    EXPECT_EQ(err, "");

    // A broken condition is false whatever came before it, with one line.
    EXPECT_TRUE(condition("1"));
    EXPECT_FALSE(condition("1 +"));
    EXPECT_EQ(err.find("Condition \"1 +\" failed: "), 0u) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    EXPECT_FALSE(condition("nosuch.field"));
    EXPECT_TRUE(found("nosuch")) << err;
    // Each text is compiled once: it says what failed once, and a buffer
    // that now holds another text is compiled anew.
    EXPECT_FALSE(condition("1 +") || condition("nosuch.field"));
    EXPECT_EQ(err, "");
    char text[] = "flag";
    EXPECT_TRUE(condition(text));
    strcpy(text, "nil ");
    EXPECT_FALSE(condition(text));

    // A command called from a condition belongs to no event.
    ASSERT_TRUE(start(1, "ev", -1));
    EXPECT_FALSE(condition("command.wait(5)"));
    EXPECT_EQ(codesOf(gameState.mainInterpreter), Codes{END});

    lua_pushinteger(Linterpreter, 99);
    CaptureStderr();
    for (int i = 0; i < 1000; i++) {
        gs_runEventCondition(i % 2 ? "flag" : "nil");
        gs_runEventCondition(i % 2 ? "(" : "error({})");
    }
    err = GetCapturedStderr();
    EXPECT_TRUE(found("(error object is a table value)"));
    EXPECT_EQ(lua_gettop(Linterpreter), 1);
    EXPECT_EQ(lua_tointeger(Linterpreter, -1), 99);
}

TEST_F(EventTest, SwitchesVariablesAndSelfSwitches)
{
    gs_setSwitch(5, true);
    gs_setVariable(6, 42);
    gs_setSwitch(999, true);
    gs_setVariable(999, -3);
    for (int id : {-1, 1000, -100000, 1 << 30}) {
        gs_setSwitch(id, true);
        gs_setVariable(id, 7);
        EXPECT_FALSE(gs_getSwitch(id)) << id;
        EXPECT_EQ(gs_getVariable(id), 0) << id;
    }
    EXPECT_TRUE(gs_getSwitch(5) && gs_getSwitch(999) && !gs_getSwitch(6) && !gs_getSwitch(0));
    EXPECT_EQ(gs_getVariable(6) * 10 + gs_getVariable(999) + gs_getVariable(5) + gs_getVariable(0), 417);

    EXPECT_EQ(gs_getSelfSwitchKey("town", 3, 1), "town||3||1");
    EXPECT_EQ(gs_getSelfSwitchKey("", -12, 1000000), "||-12||1000000");
    EXPECT_FALSE(gs_getSelfSwitch("town", 3, 1));
    EXPECT_TRUE(gameState.selfSwitches.empty());
    gs_setSelfSwitch("town", 3, 1, true);
    EXPECT_TRUE(gs_getSelfSwitch("town", 3, 1) && !gs_getSelfSwitch("town", 1, 3));
    EXPECT_EQ(gameState.selfSwitches.count("town||3||1"), 1u);
}

TEST_F(EventTest, FaultyScriptsAndEventsEndCleanly)
{
    load("town.tmx",
         "function boom() command.show_text('before') error('boom') command.wait(1) end\n"
         "function callsNothing() nosuch() end\n"
         "function far() command.set_dir(5000, 1) command.set_route(5000, true) command.set_dir(-1, 2) end\n"
         "function odd() error({}) end\n"
         "function guard() setmetatable(_G, { __index = function(t, k) error('no ' .. k) end }) end\n"
         "notAFunction = 5\n");
    ASSERT_TRUE(start(1, "boom", -1));
    EXPECT_EQ(err.find("Is boom a function? 1\nEvent boom stopped: "), 0u) << err;
    EXPECT_EQ(codesOf(gameState.mainInterpreter), (Codes{SHOW_TEXT, END}));
    // An event on a running interpreter starts nothing and says nothing.
    EXPECT_FALSE(start(2, "callsNothing", -1));
    EXPECT_EQ(err, "");
    EXPECT_EQ(gameState.mainInterpreter.eventId, 1);
    ticks(1);
    EXPECT_EQ(err, "Message Show\n");

    ASSERT_TRUE(start(2, "callsNothing", 2));
    EXPECT_TRUE(found("Event callsNothing stopped: ")) << err;
    ASSERT_TRUE(start(3, "notAFunction", 3));
    EXPECT_EQ(err.find("Is notAFunction a function? 0\nEvent notAFunction stopped: "), 0u) << err;
    ASSERT_TRUE(start(4, "missing", 4));
    EXPECT_EQ(err.find("Is missing a function? 0\n"), 0u) << err;
    ASSERT_TRUE(start(5, "odd", 5));
    EXPECT_TRUE(found("(error object is a table value)")) << err;
    // Slots beyond the table trace, change nothing and move on.
    ASSERT_TRUE(start(6, "far", 6));
    ticks(4);
    EXPECT_EQ(err, "Set Event Facing Direction\nSet Route to Event\nSet Event Facing Direction\n");
    EXPECT_EQ(mapObjects[6].dir, 2);
    ASSERT_TRUE(playOut());

    // The script's own metatable on its globals raises in the name lookup.
    ASSERT_TRUE(start(7, "guard", 7) && start(8, "whatever", 8));
    EXPECT_TRUE(found("no whatever")) << err;
    EXPECT_FALSE(condition("undefinedName"));
    EXPECT_EQ(lua_gettop(Linterpreter), 0);
    ASSERT_TRUE(playOut());
    EXPECT_FALSE(start(1, "", -1) || start(1, nullptr, -1));

    // A broken or missing script still loads a state, and says what failed.
    load("syntax.tmx", "function ok() end\nthis is not lua\n");
    EXPECT_EQ(err.find("Loading syntax.lua ...DONE\nMap script syntax.lua: "), 0u) << err;
    EXPECT_TRUE(found("syntax error")) << err;
    load("run.tmx", "function ok() end\nnosuch()\n");
    EXPECT_EQ(err.find("Loading run.lua ...DONE\nMap script run.lua: "), 0u) << err;
    CaptureStderr();
    gs_loadMapScript("gone.tmx");
    err = GetCapturedStderr();
    EXPECT_EQ(err.find("Loading gone.lua ...DONE\nMap script gone.lua: cannot open data/maps/gone.lua"), 0u) << err;

    // A name shorter than its extension loses all it has.
    load("ab", "function ev() command.wait(3) command.set_dir(2, 3) end\n");
    EXPECT_EQ(err, "Loading .lua ...DONE\n");
    ASSERT_TRUE(start(2, "ev", -1));
    // An event plays on across a map change; a function the new chunk
    // returns runs at load, outside any event.
    load("b.tmx", "return function() command.wait(9) end\n");
    EXPECT_EQ(codesOf(gameState.mainInterpreter), (Codes{WAIT, SET_DIR, END}));
    ticks(4);
    EXPECT_EQ(mapObjects[2].dir, 3);
    ASSERT_TRUE(playOut());

    gs_reset();
    EXPECT_FALSE(start(1, "boom", -1));
    EXPECT_EQ(err, "");
}

// Turning an error value into text can run the collector, and with it a
// finalizer that raises: that must happen inside the protected call. The
// error below is a number and the collector's whole debt falls due at the
// first allocation after it, the one that turns 42 into text.
TEST_F(EventTest, ErrorValuesBecomeTextInsideTheProtectedCall)
{
    const std::string bomb =
        "local mt = { __gc = function() if armed then armed = false error('raised inside __gc') end end }\n"
        "function bomb(value)\n"
        "  collectgarbage('stop')\n"
        "  for i = 1, 2000 do setmetatable({}, mt) end\n"
        "  armed = true\n"
        "  collectgarbage('restart')\n"
        "  local t = {}\n"
        "  for i = 1, 200000 do t[i] = true end\n"
        "  t = nil\n"
        "  error(value)\n"
        "end\n";
    auto stoppedBy = [this](const std::string &line) {
        return err.find(line + "42\n") != std::string::npos
            || err.find(line + "error in __gc metamethod (") != std::string::npos;
    };

    // The function a chunk returns.
    load("town.tmx", bomb + "function ev() command.wait(1) bomb(42) end\nreturn function() bomb(42) end\n");
    EXPECT_TRUE(stoppedBy("Loading town.lua ...DONE\nMap script town.lua: ")) << err;
    EXPECT_EQ(lua_gettop(Linterpreter), 0);

    // An event function: it ends as any failed event ends.
    ASSERT_TRUE(start(3, "ev", 3));
    EXPECT_TRUE(stoppedBy("Is ev a function? 1\nEvent ev stopped: ")) << err;
    EXPECT_EQ(codesOf(gameState.interpreters[3]), (Codes{WAIT, END}));
    EXPECT_FALSE(gs_eventFunctionRunning());
    EXPECT_EQ(lua_gettop(Linterpreter), 0);
    ASSERT_TRUE(playOut());

    // A condition: false, and said once.
    EXPECT_FALSE(condition("bomb(42)"));
    EXPECT_TRUE(stoppedBy("Condition \"bomb(42)\" failed: ")) << err;
    EXPECT_FALSE(condition("bomb(42)"));
    EXPECT_EQ(err, "");
    EXPECT_EQ(lua_gettop(Linterpreter), 0);

    // The data file, through a reader whose lookup goes to an __index
    // function that the file's returned function set.
    std::ofstream("data/database.lua")
        << bomb + "system = {}\nreturn function() setmetatable(system, { __index = function() bomb(42) end }) end\n";
    CaptureStderr();
    EXPECT_FALSE(database_initFrom("data/database.lua"));
    err = GetCapturedStderr();
    EXPECT_TRUE(stoppedBy("Error in data file \"data/database.lua\": ")) << err;
    EXPECT_EQ(lua_gettop(Ll), 0);
}

// Out of memory inside a command: the C++ exception stops at the command and
// becomes a Lua error, and the event ends as failed events end.
TEST_F(EventTest, CommandsThatRunOutOfMemoryEndTheEvent)
{
    load("town.tmx",
         "function all() command.show_text('a') command.set_dir(-1, 2) command.wait(3) command.new_route()\n"
         "  command.add_point(1, 2) command.set_route(-1, true) command.loop() end\n"
         "function flood() for i = 1, 2^40 do command.wait(1) end end\n");
    parse_allocationHook = failingAllocation;

    allocationsLeft = 60;
    ASSERT_TRUE(start(2, "flood", -1));
    EXPECT_EQ(err, "Is flood a function? 1\nEvent flood stopped: not enough memory\n");
    Codes codes = codesOf(gameState.mainInterpreter);
    EXPECT_GT(codes.size(), 40u);
    Codes waits(codes.size() - 1, WAIT);
    waits.push_back(END);
    EXPECT_EQ(codes, waits);
    EXPECT_FALSE(gs_eventFunctionRunning());
    EXPECT_EQ(lua_gettop(Linterpreter), 0);
    // The engine goes on: the list plays out, and a condition that calls a
    // command fails as conditions fail, false and said once.
    ASSERT_TRUE(playOut());
    EXPECT_FALSE(condition("command.wait(1) or true"));
    EXPECT_EQ(err, "Condition \"command.wait(1) or true\" failed: not enough memory\n");
    EXPECT_FALSE(condition("command.wait(1) or true"));
    EXPECT_EQ(err, "");

    // Memory runs out at each allocation in turn, list growths included:
    // what came before stays, and END still fits.
    const Codes all{SHOW_TEXT, SET_DIR, WAIT, NEW_ROUTE, ADD_POINT, SET_ROUTE, LOOP};
    int unstarted = 0;
    bool finished = false;
    for (int slot = 1; slot < 40 && !finished; slot++) {
        SCOPED_TRACE(slot);
        allocationsLeft = slot - 1;
        const Interpreter &interpreter = gameState.interpreters[slot];
        if (!start(slot, "all", slot)) {
            EXPECT_EQ(err, "Event all stopped: not enough memory\n");
            EXPECT_FALSE(interpreter.running);
            unstarted++;
            continue;
        }
        codes = codesOf(interpreter);
        ASSERT_TRUE(interpreter.running && !codes.empty() && codes.back() == END);
        codes.pop_back();
        EXPECT_EQ(codes, Codes(all.begin(), all.begin() + std::min(codes.size(), all.size())));
        EXPECT_FALSE(gs_eventFunctionRunning());
        EXPECT_EQ(lua_gettop(Linterpreter), 0);
        finished = codes.size() == all.size();
        EXPECT_EQ(err, finished ? "Is all a function? 1\n" : "Is all a function? 1\nEvent all stopped: not enough memory\n");
    }
    EXPECT_TRUE(finished);
    EXPECT_EQ(unstarted, 1);
}

// Out of memory while a command plays: the event that plays it ends, named,
// and the game goes on, the other interpreters in the same tick included.
TEST_F(EventTest, CommandThatRunsOutOfMemoryWhilePlayingEndsItsEvent)
{
    load("town.tmx", "function talk() command.show_text('hello') command.loop() end\n"
                     "function turn() command.wait(2) command.set_dir(-1, 3) end\n"
                     "function later() command.show_text('again') end\n");
    ASSERT_TRUE(start(1, "talk", -1) && start(7, "turn", 7));
    parse_allocationHook = failingAllocation;
    allocationsLeft = 1;
    const Interpreter &talk = gameState.mainInterpreter;

    // The box gets a copy; the command keeps its text for the loop.
    ticks(1);
    ASSERT_EQ(messageBox.size(), 1u);
    EXPECT_EQ(messageBox[0].text, "hello");
    ticks(1);
    EXPECT_EQ(err, "Loop event\n");
    EXPECT_EQ(talk.commands[0].strings, std::vector<std::string>{"hello"});
    ticks(1);
    EXPECT_EQ(err, "Message Show\nEvent talk stopped: not enough memory\nSet Event Facing Direction\n");
    EXPECT_TRUE(messageBox.empty());
    EXPECT_FALSE(talk.running);
    EXPECT_TRUE(talk.commands.empty());
    EXPECT_EQ(talk.index, 0);
    EXPECT_EQ(mapObjects[7].dir, 3);
    ASSERT_TRUE(playOut());

    // Memory back, the next event plays as any other.
    parse_allocationHook = nullptr;
    ASSERT_TRUE(start(2, "later", -1));
    ticks(1);
    EXPECT_EQ(err, "Message Show\n");
    ASSERT_EQ(messageBox.size(), 1u);
    EXPECT_EQ(messageBox[0].text, "again");
    ASSERT_TRUE(playOut());
}

// A script that never returns is stopped, also when it catches the error,
// and what it queued before plays; the next call has its whole budget again.
TEST_F(EventTest, ScriptsThatNeverReturnAreStopped)
{
    load("town.tmx", "function spin() command.wait(1) while true do end end\n"
                     "function stubborn() while true do pcall(function() while true do end end) end end\n"
                     "function busy() for i = 1, 60000000 do end command.wait(2) end\n");
    const std::string tooLong = "the script ran for more than 100000000 instructions\n";
    ASSERT_TRUE(start(2, "spin", -1));
    EXPECT_TRUE(found("Event spin stopped: ") && found(tooLong)) << err;
    EXPECT_EQ(codesOf(gameState.mainInterpreter), (Codes{WAIT, END}));
    ASSERT_TRUE(playOut());
    ASSERT_TRUE(start(2, "stubborn", -1));
    EXPECT_TRUE(found("Event stubborn stopped: ") && found(tooLong)) << err;
    ASSERT_TRUE(playOut());
    EXPECT_FALSE(condition("stubborn()"));
    EXPECT_TRUE(found(tooLong)) << err;
    // Twice 60 million instructions, each call within its budget.
    ASSERT_TRUE(start(2, "busy", 1));
    ASSERT_TRUE(start(3, "busy", 2));
    EXPECT_EQ(err, "Is busy a function? 1\n");
}

TEST_F(EventTest, MessageBoxesHoldCommandsButNotWaits)
{
    load("town.tmx",
         "function talk() command.show_text('main') end\n"
         "function auto() command.show_text('slot') end\n"
         "function waiter() command.wait(3) command.set_dir(-1, 1) end\n");
    // Show-texts reached in one tick queue the main interpreter's box first.
    ASSERT_TRUE(start(3, "auto", 3) && start(1, "talk", -1));
    ticks(1, true);
    ASSERT_EQ(messageBox.size(), 2u);
    EXPECT_EQ(messageBox[0].text, "main");
    EXPECT_EQ(messageBox[1].text, "slot");
    EXPECT_EQ(messageBox[0].x * 1000 + messageBox[0].y, 48016);
    EXPECT_EQ(messageBox[0].w * 1000 + messageBox[0].h, 544128);

    // The wait counts down under a box, but what follows it waits for the
    // queue to empty.
    dismissMessages();
    ASSERT_TRUE(playOut());
    ASSERT_TRUE(start(5, "waiter", 5));
    ticks(1);
    message_add("x", 0, 0, 10, 10);
    ticks(3, true);
    EXPECT_EQ(err, "");
    EXPECT_EQ(gameState.interpreters[5].waitTimer, 0);
    ticks(1);
    EXPECT_EQ(err, "Set Event Facing Direction\n");
    EXPECT_EQ(mapObjects[5].dir, 1);
}

} // namespace
