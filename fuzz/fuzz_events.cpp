// A map script with its events on any bytes. The input is the script; its
// comment lines of the form
//
//   --@object key=value;key=value;...   an object of the "events" layer
//   --@map key=value;...                a map property (width and height in
//                                       tiles set the map's size)
//   --@player x=..;y=..                 where the player starts
//
// also build the map it belongs to: the object keys id, name, x, y, width and
// height are the object's own, any other key becomes one of its properties
// (autoCall, touchCondition, graphicName, ...). The map is loaded twice over,
// as fuzz.tmx and other.tmx (an exit may lead from one to the other), and the
// scene plays a few seconds of ticks: the player walks a square, runs, and
// presses the Ok key every few ticks, which starts interact events and
// closes message boxes.
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <allegro5/allegro_font.h>

#include "gamestate.h"
#include "input.h"
#include "map.h"
#include "message.h"
#include "object.h"
#include "player.h"
#include "sceneMap.h"
#include "support.h"
#include "system.h"
#include "window.h"

namespace {

typedef std::vector<std::pair<std::string, std::string>> Pairs;

struct Scene {
    std::vector<Pairs> objects;
    Pairs mapProperties;
    int width = 20;
    int height = 15;
    int playerX = 80;
    int playerY = 80;
};

// Enough objects to meet each other; the engine's per-tick work grows with
// the square of their number, by design.
const size_t MOST_OBJECTS = 24;
const int MOST_TILES = 64;
const int TICKS = 90;

// Text fit for an XML attribute: valid UTF-8 (other bytes become '?'), no
// control characters, markup escaped. The loader's own target fuzzes XML.
std::string attribute(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = text[i];
        size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool whole = length > 0 && i + length <= text.size();
        for (size_t k = 1; whole && k < length; k++)
            whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (!whole || (length == 1 && c < 0x20)) {
            out += '?';
            i++;
            continue;
        }
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else
            out.append(text, i, length);
        i += length;
    }
    return out;
}

Pairs pairsOf(const std::string &text)
{
    Pairs pairs;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos)
            end = text.size();
        std::string piece = text.substr(start, end - start);
        size_t equals = piece.find('=');
        if (equals != std::string::npos && equals > 0)
            pairs.emplace_back(piece.substr(0, equals), piece.substr(equals + 1));
        start = end + 1;
    }
    return pairs;
}

int clampedInt(const std::string &text, int low, int high)
{
    long value = strtol(text.c_str(), nullptr, 10);
    return value < low ? low : value > high ? high : static_cast<int>(value);
}

Scene sceneOf(const std::string &script)
{
    Scene scene;
    size_t start = 0;
    while (start < script.size()) {
        size_t end = script.find('\n', start);
        if (end == std::string::npos)
            end = script.size();
        std::string line = script.substr(start, end - start);
        start = end + 1;
        if (line.compare(0, 10, "--@object ") == 0 && scene.objects.size() < MOST_OBJECTS)
            scene.objects.push_back(pairsOf(line.substr(10)));
        if (line.compare(0, 7, "--@map ") == 0) {
            for (const auto &p : pairsOf(line.substr(7))) {
                if (p.first == "width")
                    scene.width = clampedInt(p.second, 1, MOST_TILES);
                else if (p.first == "height")
                    scene.height = clampedInt(p.second, 1, MOST_TILES);
                else
                    scene.mapProperties.push_back(p);
            }
        }
        if (line.compare(0, 10, "--@player ") == 0) {
            for (const auto &p : pairsOf(line.substr(10))) {
                if (p.first == "x")
                    scene.playerX = clampedInt(p.second, -4096, 4096);
                if (p.first == "y")
                    scene.playerY = clampedInt(p.second, -4096, 4096);
            }
        }
    }
    return scene;
}

std::string properties(const Pairs &pairs)
{
    if (pairs.empty())
        return "";
    std::string out = "<properties>";
    for (const auto &p : pairs)
        out += "<property name=\"" + attribute(p.first) + "\" value=\"" + attribute(p.second) + "\"/>";
    return out + "</properties>";
}

// Grass with a stone path, a few blocking tiles and an empty rim, so that
// walking, footsteps and collisions all happen.
std::string layer(const char *name, const Scene &scene, int salt)
{
    std::string cells;
    for (int y = 0; y < scene.height; y++) {
        for (int x = 0; x < scene.width; x++) {
            uint32_t gid = 0;
            if (salt == 0)
                gid = (x + y) % 7 == 0 ? 3 : 2;
            else if (salt == 1 && (x * 7 + y * 3) % 11 == 0)
                gid = 6;
            else if (salt == 2 && (x + y * 5) % 13 == 0)
                gid = 4 | TILED_FLIPPED_HORIZONTALLY;
            cells += std::to_string(gid);
            cells += x + 1 < scene.width || y + 1 < scene.height ? "," : "";
        }
    }
    std::string size = "width=\"" + std::to_string(scene.width) + "\" height=\"" + std::to_string(scene.height) + "\"";
    return std::string("<layer name=\"") + name + "\" " + size + "><data encoding=\"csv\">" + cells + "</data></layer>\n";
}

std::string object(const Pairs &pairs, size_t index)
{
    std::map<std::string, std::string> own = {
        {"id", std::to_string(index + 1)}, {"x", std::to_string(64 + 40 * (index % 12))},
        {"y", std::to_string(64 + 48 * (index / 12))}, {"width", "20"}, {"height", "14"}, {"name", ""},
    };
    Pairs rest;
    for (const auto &p : pairs) {
        if (own.count(p.first))
            own[p.first] = p.second;
        else
            rest.push_back(p);
    }
    std::string out = "<object";
    for (const auto &o : own)
        out += " " + o.first + "=\"" + attribute(o.second) + "\"";
    return out + ">" + properties(rest) + "</object>\n";
}

std::string tmxOf(const Scene &scene)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.8\" orientation=\"orthogonal\" "
                      "width=\"" + std::to_string(scene.width) + "\" height=\"" + std::to_string(scene.height) +
                      "\" tilewidth=\"32\" tileheight=\"32\">\n" + properties(scene.mapProperties) +
                      "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"32\" tileheight=\"32\">"
                      "<image source=\"tiles.png\" width=\"128\" height=\"128\"/>"
                      "<tile id=\"1\"><properties><property name=\"stepSound\" value=\"sfx/se/grass\"/></properties></tile>"
                      "<tile id=\"2\"><properties><property name=\"stepSound\" value=\"sfx/se/stone\"/></properties></tile>"
                      "<tile id=\"5\"><properties><property name=\"block\" value=\"1\"/></properties></tile>"
                      "</tileset>\n";
    out += layer("BG0", scene, 0) + layer("BG1", scene, 1) + layer("BG2", scene, 2);
    out += "<objectgroup name=\"events\">\n";
    for (size_t i = 0; i < scene.objects.size(); i++)
        out += object(scene.objects[i], i);
    return out + "</objectgroup>\n</map>\n";
}

// --- the player's keys ----------------------------------------------------------

int tick = 0;

void press(ALLEGRO_KEYBOARD_STATE *state, int code)
{
    state->__key_down__internal__[code / 32] |= 1u << (code % 32);
}

// A square walked over and over, running on two of its sides, with the Ok
// key down one tick in six.
void scheduledKeys(ALLEGRO_KEYBOARD_STATE *state)
{
    memset(state, 0, sizeof *state);
    static const int sides[4] = {ALLEGRO_KEY_RIGHT, ALLEGRO_KEY_DOWN, ALLEGRO_KEY_LEFT, ALLEGRO_KEY_UP};
    int side = tick / 30 % 4;
    press(state, sides[side]);
    if (side >= 2)
        press(state, ALLEGRO_KEY_X);
    if (tick % 6 == 0)
        press(state, ALLEGRO_KEY_C);
}

void startOnce()
{
    static bool started = false;
    if (started)
        return;
    started = true;
    fuzz::setUp();
    width = 320;
    height = 240;
    static const int bindings[KEY_COUNT] = {
        ALLEGRO_KEY_UP, ALLEGRO_KEY_DOWN, ALLEGRO_KEY_LEFT, ALLEGRO_KEY_RIGHT, ALLEGRO_KEY_C, ALLEGRO_KEY_X,
        ALLEGRO_KEY_X, ALLEGRO_KEY_Z, ALLEGRO_KEY_D, ALLEGRO_KEY_S, ALLEGRO_KEY_A, ALLEGRO_KEY_PGUP,
        ALLEGRO_KEY_PGDN, ALLEGRO_KEY_LSHIFT, ALLEGRO_KEY_RSHIFT,
    };
    for (int k = 0; k < KEY_COUNT; k++)
        input_setKey(k, bindings[k]);
    input_pollKeyboard = scheduledKeys;
    system_fontNormal = engine_loadFont("gfx/fonts/DejaVuSans.ttf", 16);
    message_setOptions();
}

// Back to no map, no script, no box and an idle player, as at start-up.
void resetWorld()
{
    for (Message &m : messageBox)
        window_dispose(m.windowSlot);
    messageBox.clear();
    gs_reset();
    map_destroy();
    mapObj = Map();
    for (MapObject &o : mapObjects)
        o = MapObject();
    _engine_freeze = false;
    _engine_transition = false;
    update_callback = nullptr;
    cache_clearBitmaps();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    startOnce();
    fuzz::luaNewInput();
    std::string script(reinterpret_cast<const char *>(data), size);
    Scene scene = sceneOf(script);
    std::string map = tmxOf(scene);
    fuzz::writeFile("data/maps/fuzz.tmx", map);
    fuzz::writeFile("data/maps/other.tmx", map);
    fuzz::writeFile("data/maps/fuzz.lua", script);
    fuzz::writeFile("data/maps/other.lua", script);

    object_create(0, 32, 48, "hero.png", 0, 0, 20, 14, 46, 2, true, true);
    fuzz::canvas();
    if (teleport("fuzz.tmx", scene.playerX, scene.playerY, false)) {
        sceneMap_create();
        for (tick = 0; tick < TICKS; tick++)
            engine_tick();
    }
    resetWorld();
    return 0;
}
