#include "system.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <allegro5/allegro_image.h>
#include <allegro5/allegro_memfile.h>
#include <allegro5/allegro_acodec.h>
#include <allegro5/allegro_ttf.h>
#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>
#include <taglib/xiphcomment.h>

#include "database.h"
#include "input.h"
#include "luaparse.h"
#include "message.h"
#include "party.h"
#include "player.h"
#include "xc.h"

// ===========================================================================
// Start-up, main loop and shut-down
// ===========================================================================

ALLEGRO_DISPLAY *display = nullptr;
ALLEGRO_TIMER *timer = nullptr;
ALLEGRO_EVENT_QUEUE *event_queue = nullptr;
ALLEGRO_EVENT_QUEUE *engine_closeQueue = nullptr;
ALLEGRO_BITMAP *icon = nullptr;
ALLEGRO_MIXER *engine_mixer = nullptr;
ALLEGRO_FONT *system_fontNormal = nullptr;
ALLEGRO_FONT *system_fontBig = nullptr;
ALLEGRO_FONT *system_fontSmall = nullptr;
ALLEGRO_FONT *system_fontDamage = nullptr;
ALLEGRO_FONT *system_fontSpecial = nullptr;
int width = 0;
int height = 0;

engine_callback update_callback = nullptr;
engine_callback freeze_callback = nullptr;

unsigned long engine_flipCount = 0;

// Allegro asserts on drawing with no target bitmap; without a display there
// is nothing to clear or flip.
static bool engine_hasTarget()
{
    return display != nullptr && al_get_target_bitmap() != nullptr;
}

static void engine_clearToBlack()
{
    if (engine_hasTarget())
        al_clear_to_color(al_map_rgba_f(0, 0, 0, 1));
}

static void engine_flip()
{
    if (!engine_hasTarget())
        return;
    al_flip_display();
    engine_flipCount++;
}

// X keeps window sizes in 16 bits, and common drivers take textures of at
// most 16384 pixels a side. A larger window fails inside Xlib, whose error
// handler ends the process, and its exit can deadlock in Allegro's exit
// handler: such a size never reaches Allegro. A window larger than the
// monitor is fine.
static const int ENGINE_MAX_SIDE = 16384;

static bool engine_sizeFits(int w, int h)
{
    return w >= 1 && w <= ENGINE_MAX_SIDE && h >= 1 && h <= ENGINE_MAX_SIDE;
}

static int engine_fail(const char *message)
{
    fputs(message, stderr);
    fflush(stderr);
    return 1;
}

// Beyond this size FreeType fails to render some glyphs of common fonts (its
// raster overflows), and Allegro crashes when it draws one; well before that,
// the glyph pages of a few thousand different characters take more than a
// gigabyte. bench/font_bench measures both. A larger size, either way, is
// refused as a font that fails to load.
static const int ENGINE_FONT_MOST = 372;

ALLEGRO_FONT *engine_loadFont(const char *path, int size)
{
    bool fits = size >= -ENGINE_FONT_MOST && size <= ENGINE_FONT_MOST;
    ALLEGRO_FONT *font = fits && fileExists(path) ? al_load_ttf_font(path, size, 0) : nullptr;
    if (!font) {
        char range[48] = "";
        if (!fits)
            snprintf(range, sizeof range, " (sizes run from %d to %d)", -ENGINE_FONT_MOST, ENGINE_FONT_MOST);
        fprintf(stderr, "Failed to load font \"%s\" at size %d%s.\n", path ? path : "(null)", size, range);
        // Text drawn later must still have a font: fall back on Allegro's
        // built-in one.
        font = al_create_builtin_font();
    }
    return font;
}

// X sets a window's icon in one request of at most 4,194,303 four-byte
// units (with BIG-REQUESTS), nine of them the request's header, its extended
// length and the icon's width and height, and one a pixel. The server
// refuses a larger one, and Xlib's error handler then ends the process in a
// way that deadlocks in Allegro's exit handler: such an icon is handed over
// scaled down, its longer side this long.
static const long ENGINE_ICON_MOST_PIXELS = 4194294;
static const int ENGINE_ICON_SCALED_SIDE = 1024;

static int engine_scaledSide(int side, int longer)
{
    return std::max(1, static_cast<int>(std::lround(static_cast<double>(side) * ENGINE_ICON_SCALED_SIDE / longer)));
}

// The icon as X can take it; null, with the loaded one freed, when the
// scaled copy cannot be made.
static ALLEGRO_BITMAP *engine_fitIcon(ALLEGRO_BITMAP *loaded)
{
    if (!loaded)
        return nullptr;
    int w = al_get_bitmap_width(loaded), h = al_get_bitmap_height(loaded);
    if (static_cast<long>(w) * h <= ENGINE_ICON_MOST_PIXELS)
        return loaded;
    int longer = std::max(w, h);
    // Bitmaps are made with linear filtering: the loaded one is drawn so.
    ALLEGRO_BITMAP *scaled = al_create_bitmap(engine_scaledSide(w, longer), engine_scaledSide(h, longer));
    if (scaled) {
        ALLEGRO_BITMAP *target = al_get_target_bitmap();
        al_set_target_bitmap(scaled);
        al_clear_to_color(al_map_rgba(0, 0, 0, 0));
        al_draw_scaled_bitmap(loaded, 0, 0, w, h, 0, 0, al_get_bitmap_width(scaled), al_get_bitmap_height(scaled), 0);
        al_set_target_bitmap(target);
    }
    al_destroy_bitmap(loaded);
    return scaled;
}

int engine_initialize()
{
    if (!al_install_system(ALLEGRO_VERSION_INT, atexit))
        return engine_fail("Failed to initialize Allegro.");
    if (!al_init_image_addon())
        return engine_fail("Failed to initialize Allegro Image.");
    timer = al_create_timer(1.0 / 60);
    if (!timer)
        return engine_fail("Failed to create internal timer.");
    if (!al_install_keyboard())
        return engine_fail("Failed to install keyboard.");

    engine_loadConfig();

    al_set_new_display_option(ALLEGRO_VSYNC, 1, ALLEGRO_SUGGEST);
    al_set_new_bitmap_flags(ALLEGRO_MIN_LINEAR | ALLEGRO_MAG_LINEAR);
    if (engine_sizeFits(engine_ScrW(), engine_ScrH()))
        display = al_create_display(engine_ScrW(), engine_ScrH());
    if (!display)
        return engine_fail("Failed to create screen display.");

    // The display's events also reach a queue of their own, so that a close
    // request is seen at once, not behind every timer event queued before it;
    // made now, so that one sent while the game starts up is not lost.
    engine_closeQueue = al_create_event_queue();
    if (!engine_closeQueue)
        return engine_fail("Failed to create event queue.");
    al_register_event_source(engine_closeQueue, al_get_display_event_source(display));

    icon = fileExists("gfx/icon.png") ? engine_fitIcon(al_load_bitmap("gfx/icon.png")) : nullptr;
    al_set_window_title(display, "Vemra");
    if (icon)
        al_set_display_icon(display, icon);
    else
        fprintf(stderr, "Failed to load the window icon \"gfx/icon.png\"; running without it.\n");
    al_hide_mouse_cursor(display);

    if (!al_init_acodec_addon())
        return engine_fail("Failed to initialize audio codec addon.");
    if (!al_install_audio())
        return engine_fail("Failed to install the audio system.");
    if (!al_reserve_samples(256))
        return engine_fail("Failed to reserve samples (perhaps memory allocation failed?).");
    engine_mixer = al_get_default_mixer();

    al_init_font_addon();
    al_init_ttf_addon();

    al_clear_to_color(al_map_rgba_f(0, 0, 0, 1));
    al_flip_display();
    al_clear_to_color(al_map_rgba_f(0, 0, 0, 1));

    event_queue = al_create_event_queue();
    if (!event_queue)
        return engine_fail("Failed to create event queue.");
    al_register_event_source(event_queue, al_get_timer_event_source(timer));
    al_register_event_source(event_queue, al_get_display_event_source(display));
    al_register_event_source(event_queue, al_get_keyboard_event_source());

    al_start_timer(timer);

    input_init(event_queue);
    parse_init();
    if (!database_init())
        return 1;

    const DBSystem *sys = getDBSystem();
    system_fontNormal = engine_loadFont(sys->fontNormal.c_str(), sys->fontSizeM);
    system_fontBig = engine_loadFont(sys->fontNormal.c_str(), sys->fontSizeL);
    system_fontSmall = engine_loadFont(sys->fontNormal.c_str(), sys->fontSizeS);
    system_fontDamage = engine_loadFont(sys->fontDamage.c_str(), sys->fontSizeL);
    system_fontSpecial = engine_loadFont(sys->fontSpecial.c_str(), sys->fontSizeM);
    return 0;
}

int engine_createNewGameObjects()
{
    party_initialize();
    createPlayer();
    message_setOptions();
    // The scene needs a map from its first tick on.
    std::string startMap = getDBSystem()->startMap;
    if (!teleport(startMap, getDBSystem()->startX, getDBSystem()->startY, true)) {
        fprintf(stderr, "Failed to load the start map \"%s\".\n", startMap.c_str());
        return 1;
    }
    return 0;
}

// A game whose ticks take longer than the timer's period falls further
// behind for as long as it runs. Short delays (a map change, start-up) are
// caught up tick by tick; beyond this many ticks the older timer events are
// dropped, so the game runs slower, never later.
static const int64_t ENGINE_TICK_BACKLOG = 15;

static bool engine_tickIsStale(const ALLEGRO_EVENT &event)
{
    // Made-up timer events and those of other timers are never late.
    if (!timer || event.timer.source != timer)
        return false;
    return al_get_timer_count(timer) - event.timer.count > ENGINE_TICK_BACKLOG;
}

int engine_handleEvent(const ALLEGRO_EVENT &event)
{
    switch (event.type) {
    case ALLEGRO_EVENT_JOYSTICK_AXIS:
    case ALLEGRO_EVENT_JOYSTICK_BUTTON_DOWN:
    case ALLEGRO_EVENT_JOYSTICK_BUTTON_UP:
        xc_update(event);
        return 0;
    case ALLEGRO_EVENT_TIMER:
        if (!engine_tickIsStale(event))
            engine_tick();
        return 0;
    case ALLEGRO_EVENT_DISPLAY_CLOSE:
        return 1;
    default:
        return 0;
    }
}

void engine_tick()
{
    if (_engine_freeze) {
        call_freeze_callback();
        if (_engine_transition)
            engine_updateTransition();
    } else {
        engine_clearToBlack();
        input_update();
        call_update_callback();
    }
    // Read after the tick's work: a tick that starts a freeze is not shown,
    // and the tick that ends a crossfade flips once more.
    if (!_engine_freeze)
        engine_flip();
}

// Empties the display's own queue; true when it held a close request.
static bool engine_closeRequested()
{
    if (!engine_closeQueue)
        return false;
    bool close = false;
    ALLEGRO_EVENT event;
    while (al_get_next_event(engine_closeQueue, &event))
        close = close || event.type == ALLEGRO_EVENT_DISPLAY_CLOSE;
    return close;
}

int engine_loop()
{
    ALLEGRO_EVENT event;
    al_wait_for_event(event_queue, &event);
    if (engine_closeRequested())
        return 1;
    return engine_handleEvent(event);
}

void engine_exit()
{
    engine_uninstallAudio();
    engine_destroyConfig();
    input_destroy();
    cache_clear();
}

void set_update_callback(engine_callback fn)
{
    update_callback = fn;
}

bool call_update_callback()
{
    if (!update_callback)
        return true;
    update_callback();
    return false;
}

bool call_freeze_callback()
{
    return call_update_callback();
}

void set_freeze_callback(engine_callback fn)
{
    freeze_callback = fn;
}

int engine_ScrW()
{
    return width;
}

int engine_ScrH()
{
    return height;
}

ALLEGRO_FONT *getFont(int id)
{
    switch (id) {
    case 2: return system_fontBig;
    case 3: return system_fontSmall;
    case 4: return system_fontDamage;
    default: return system_fontNormal;
    }
}

std::string engine_localPath(const std::string &path)
{
    std::string out = path;
    for (char &c : out) {
        if (c == '\\' || c == '/')
            c = ALLEGRO_NATIVE_PATH_SEP;
    }
    return out;
}

// ===========================================================================
// Screen freeze and crossfade
// ===========================================================================

ALLEGRO_BITMAP *screen_clone[2] = {nullptr, nullptr};
bool _engine_freeze = false;
bool _engine_transition = false;
int _engine_transitionFrames = 0;
float _engine_transitionStep = 0.0f;

static ALLEGRO_BITMAP *engine_snapshot()
{
    if (!display)
        return nullptr;
    return al_clone_bitmap(al_get_backbuffer(display));
}

static void engine_replaceSnapshot(int index)
{
    if (screen_clone[index])
        al_destroy_bitmap(screen_clone[index]);
    screen_clone[index] = engine_snapshot();
}

void engine_freezeScreen()
{
    engine_replaceSnapshot(0);
    engine_replaceSnapshot(1);
    _engine_freeze = true;
}

void engine_transition(int n)
{
    call_update_callback();
    engine_replaceSnapshot(0);
    if (n < 1) {
        // No fade to speak of: one step that shows the new image alone.
        _engine_transitionFrames = 0;
        _engine_transitionStep = 0.0f;
    } else {
        _engine_transitionFrames = n;
        _engine_transitionStep = 1.0f / n;
    }
    _engine_transition = true;
}

void engine_updateTransition()
{
    float a = _engine_transitionFrames * _engine_transitionStep;
    if (engine_hasTarget()) {
        if (screen_clone[0])
            al_draw_bitmap(screen_clone[0], 0, 0, 0);
        if (screen_clone[1])
            al_draw_tinted_bitmap(screen_clone[1], al_map_rgba_f(a, a, a, a), 0, 0, 0);
    }
    _engine_transitionFrames -= 1;
    engine_flip();
    if (_engine_transitionFrames < 0) {
        _engine_transition = false;
        _engine_freeze = false;
    }
}

bool engine_isFrozen()
{
    return _engine_freeze;
}

// ===========================================================================
// Configuration file
// ===========================================================================

ALLEGRO_CONFIG *config_struct = nullptr;
int displayMode = 0;
bool fullscreen = false;
float musicVol = 0.0f;
float soundVol = 0.0f;

static const char *const CONFIG_FILE = "config.cfg";

static const char *const keyNames[KEY_COUNT] = {
    "keyUp", "keyDown", "keyLeft", "keyRight", "keyOk", "keyCancel", "keyRun", "keyJump",
    "keyMenu", "keySpecial", "keyInfo", "keyPgUp", "keyPgDn", "keyLb", "keyRb",
};

static const int keyDefaults[KEY_COUNT] = {
    ALLEGRO_KEY_UP, ALLEGRO_KEY_DOWN, ALLEGRO_KEY_LEFT, ALLEGRO_KEY_RIGHT,
    ALLEGRO_KEY_C, ALLEGRO_KEY_X, ALLEGRO_KEY_X, ALLEGRO_KEY_Z,
    ALLEGRO_KEY_D, ALLEGRO_KEY_S, ALLEGRO_KEY_A, ALLEGRO_KEY_PGUP,
    ALLEGRO_KEY_PGDN, ALLEGRO_KEY_LSHIFT, ALLEGRO_KEY_RSHIFT,
};

std::string to_string(int value)
{
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    return text;
}

// The shortest decimal text that reads back as the same float.
static std::string engine_floatText(float value)
{
    char text[32];
    for (int precision = 1; precision <= 9; precision++) {
        snprintf(text, sizeof text, "%.*g", precision, value);
        if (strtof(text, nullptr) == value)
            break;
    }
    std::string out = text;
    if (out.find_first_of(".eEni") == std::string::npos)
        out += ".0";
    return out;
}

const char *engine_getConfigVal(const char *section, const char *key, const char *def)
{
    const char *value = al_get_config_value(config_struct, section, key);
    if (value)
        return value;
    al_set_config_value(config_struct, section, key, def);
    return def;
}

// A reload resizes the open display; a size it cannot take leaves the
// display as it is, and the screen size stays the display's.
static void engine_applyToDisplay()
{
    if (!engine_sizeFits(width, height)) {
        fprintf(stderr, "Screen size %dx%d is outside 1 to %d a side; the display stays %dx%d.\n", width, height,
                ENGINE_MAX_SIDE, al_get_display_width(display), al_get_display_height(display));
        width = al_get_display_width(display);
        height = al_get_display_height(display);
        return;
    }
    al_resize_display(display, width, height);
    al_set_display_flag(display, ALLEGRO_FULLSCREEN, fullscreen);
}

size_t engine_utf8Length(const std::string &text, size_t i)
{
    unsigned char c = text[i];
    if (c < 0x80)
        return 1;
    size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    unsigned char second = text[i + 1];
    unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    if (second < low || second > high)
        return 0;
    for (size_t k = 2; k < length; k++) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

// A config.cfg that is a named pipe, a device or a socket is neither read
// nor written: reading a pipe waits for a writer and writing it for a reader,
// for ever, and /dev/zero never ends. A folder is read as before, and fails.
static bool engine_configIsSpecial()
{
#ifdef _WIN32
    return false;
#else
    struct stat info;
    return stat(CONFIG_FILE, &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
#endif
}

static void engine_writeConfig()
{
    if (!engine_configIsSpecial())
        al_save_config_file(CONFIG_FILE, config_struct);
}

// The whole of config.cfg, or false when there is no such file or it cannot
// be read (a folder of that name, say); the latter is said, as the settings
// then fall back to their defaults.
static bool engine_readConfigText(std::string &text)
{
    if (engine_configIsSpecial()) {
        fprintf(stderr, "%s is not a regular file; every setting takes its default, and it is not written.\n",
                CONFIG_FILE);
        return false;
    }
    FILE *in = fopen(CONFIG_FILE, "rb");
    if (!in)
        return false;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, in)) > 0)
        text.append(buffer, got);
    int error = ferror(in) ? errno : 0;
    fclose(in);
    if (error)
        fprintf(stderr, "%s cannot be read (%s); every setting takes its default.\n", CONFIG_FILE, strerror(error));
    return error == 0;
}

// Allegro's reader loops for ever on some bytes that are not UTF-8 (a
// section name holding a sequence beyond U+10FFFF, for one). The file is
// read here first, each such byte becomes '?', and Allegro reads the text
// from memory. Null when there is no file.
static ALLEGRO_CONFIG *engine_readConfigFile()
{
    std::string text;
    if (!engine_readConfigText(text))
        return nullptr;
    int replaced = 0;
    for (size_t i = 0; i < text.size();) {
        size_t length = engine_utf8Length(text, i);
        if (length == 0) {
            text[i] = '?';
            replaced++;
            length = 1;
        }
        i += length;
    }
    if (replaced > 0)
        fprintf(stderr, "%s: %d bytes that are not UTF-8 text are read as '?'.\n", CONFIG_FILE, replaced);
    // An empty file is an empty configuration (and no memory file is made of 0 bytes).
    ALLEGRO_FILE *file = text.empty() ? nullptr : al_open_memfile(&text[0], text.size(), "r");
    if (!file)
        return al_create_config();
    ALLEGRO_CONFIG *config = al_load_config_file_f(file);
    al_fclose(file);
    return config;
}

void engine_loadConfig()
{
    if (config_struct)
        al_destroy_config(config_struct);
    config_struct = engine_readConfigFile();
    if (!config_struct)
        config_struct = al_create_config();

    // Fetch every setting in order: a missing one is added with its default.
    std::string video[4] = {
        engine_getConfigVal("VIDEO", "width", "640"),
        engine_getConfigVal("VIDEO", "height", "480"),
        engine_getConfigVal("VIDEO", "display", "0"),
        engine_getConfigVal("VIDEO", "fullscreen", "0"),
    };
    std::string sound[2] = {
        engine_getConfigVal("SOUND", "musicVol", "1.0"),
        engine_getConfigVal("SOUND", "soundVol", "1.0"),
    };
    std::string controls[KEY_COUNT];
    for (int k = 0; k < KEY_COUNT; k++)
        controls[k] = engine_getConfigVal("CONTROLS", keyNames[k], to_string(keyDefaults[k]).c_str());

    engine_writeConfig();

    width = atoi(video[0].c_str());
    height = atoi(video[1].c_str());
    displayMode = atoi(video[2].c_str());
    fullscreen = atoi(video[3].c_str()) == 1;
    musicVol = static_cast<float>(atof(sound[0].c_str()));
    soundVol = static_cast<float>(atof(sound[1].c_str()));

    for (int k = 0; k < KEY_COUNT; k++)
        input_setKey(k, atoi(controls[k].c_str()));

    al_set_new_display_flags(fullscreen ? ALLEGRO_FULLSCREEN : ALLEGRO_WINDOWED);
    if (display)
        engine_applyToDisplay();
}

void engine_saveConfig()
{
    if (!config_struct)
        config_struct = al_create_config();
    for (int k = 0; k < KEY_COUNT; k++)
        al_set_config_value(config_struct, "CONTROLS", keyNames[k], to_string(input_getKey(static_cast<Key>(k))).c_str());
    al_set_config_value(config_struct, "VIDEO", "width", to_string(width).c_str());
    al_set_config_value(config_struct, "VIDEO", "height", to_string(height).c_str());
    al_set_config_value(config_struct, "VIDEO", "fullscreen", fullscreen ? "1" : "0");
    al_set_config_value(config_struct, "VIDEO", "display", to_string(displayMode).c_str());
    al_set_config_value(config_struct, "SOUND", "musicVol", engine_floatText(musicVol).c_str());
    al_set_config_value(config_struct, "SOUND", "soundVol", engine_floatText(soundVol).c_str());
    engine_writeConfig();
    // Reads the file back; the object it replaces is released there.
    engine_loadConfig();
}

void engine_destroyConfig()
{
    if (config_struct)
        al_destroy_config(config_struct);
    config_struct = nullptr;
}

ALLEGRO_CONFIG *getConfig()
{
    return config_struct;
}

// ===========================================================================
// Bitmap and sample caches
// ===========================================================================

std::map<std::string, ALLEGRO_BITMAP *> _graphics_Cache;
std::map<std::string, ALLEGRO_SAMPLE *> _audio_Cache;

bool cache_loadBitmap(const std::string &path)
{
    if (_graphics_Cache.count(path))
        return true;
    ALLEGRO_BITMAP *bitmap = fileExists(path.c_str()) ? al_load_bitmap(path.c_str()) : nullptr;
    if (!bitmap)
        fprintf(stderr, "Failed to load image \"%s\".\n", path.c_str());
    _graphics_Cache[path] = bitmap;
    return bitmap != nullptr;
}

ALLEGRO_BITMAP *cache_getBitmap(const std::string &path)
{
    auto it = _graphics_Cache.find(path);
    return it == _graphics_Cache.end() ? nullptr : it->second;
}

bool cache_loadSound(const std::string &path)
{
    if (_audio_Cache.count(path))
        return true;
    // Samples belong to the audio system: without it there is nothing to load into.
    if (!al_is_audio_installed())
        return false;
    ALLEGRO_SAMPLE *sample = fileExists(path.c_str()) ? al_load_sample(path.c_str()) : nullptr;
    if (!sample)
        fprintf(stderr, "Failed to load sound \"%s\".\n", path.c_str());
    _audio_Cache[path] = sample;
    return sample != nullptr;
}

void cache_clearBitmaps()
{
    for (auto &entry : _graphics_Cache) {
        if (entry.second)
            al_destroy_bitmap(entry.second);
    }
    // Nothing may hand out a destroyed bitmap afterwards.
    _graphics_Cache.clear();
}

void cache_clearSamples()
{
    // Once audio is uninstalled Allegro has already destroyed every sample
    // (and engine_uninstallAudio has forgotten them).
    if (al_is_audio_installed()) {
        for (auto &entry : _audio_Cache) {
            if (entry.second)
                al_destroy_sample(entry.second);
        }
    }
    _audio_Cache.clear();
}

void cache_clear()
{
    cache_clearBitmaps();
}

// ===========================================================================
// Music, ambient sound and sound effects
// ===========================================================================

EngineAudio engine_audioStruct = {nullptr, nullptr, false, false, false, false, "", "", 0.0f, 0.0f};
ALLEGRO_VOICE *engine_voice = nullptr;
ALLEGRO_SAMPLE_ID engine_lastSeId = {-1, -1};

// Sound-effect paths already reported missing: a footstep sound is asked
// for on every step, and one line per path is enough.
static std::set<std::string> engine_missingSe;

static void engine_destroyStream(ALLEGRO_AUDIO_STREAM *&stream)
{
    if (!stream)
        return;
    if (event_queue)
        al_unregister_event_source(event_queue, al_get_audio_stream_event_source(stream));
    al_destroy_audio_stream(stream);
    stream = nullptr;
}

// One of the two background slots: music or ambient sound.
struct EngineStreamSlot {
    ALLEGRO_AUDIO_STREAM *&stream;
    bool &playing;
    bool &paused;
    std::string &path;
    float &volume;
    float &factor;
    const char *what;
};

static EngineStreamSlot engine_bgmSlot()
{
    EngineAudio &a = engine_audioStruct;
    return {a.bgm, a.bgmPlaying, a.bgmPaused, a.bgmPath, a.bgmVolume, musicVol, "music"};
}

static EngineStreamSlot engine_bgsSlot()
{
    EngineAudio &a = engine_audioStruct;
    return {a.bgs, a.bgsPlaying, a.bgsPaused, a.bgsPath, a.bgsVolume, soundVol, "ambient sound"};
}

// Allegro refills a stream one fragment at a time, rewinding it each time
// the fragment runs past the end of the loop or of the file.
static const int ENGINE_STREAM_FRAGMENT = 2048;

static double engine_streamFrames(ALLEGRO_AUDIO_STREAM *stream, double seconds)
{
    return seconds * al_get_audio_stream_frequency(stream);
}

// A file with no sound at all is refused like one that fails to load: looped,
// Allegro's feeder would rewind it for ever and the stream could no longer be
// destroyed. (Every format Allegro streams here, modules included, reports
// its length, so a length of 0 means an empty file.)
static ALLEGRO_AUDIO_STREAM *engine_openStream(const char *path, const char *what)
{
    ALLEGRO_AUDIO_STREAM *stream = nullptr;
    if (al_is_audio_installed() && fileExists(path))
        stream = al_load_audio_stream(path, 4, ENGINE_STREAM_FRAGMENT);
    bool empty = stream && al_get_audio_stream_length_secs(stream) <= 0.0;
    if (empty) {
        al_destroy_audio_stream(stream);
        stream = nullptr;
    }
    if (!stream)
        fprintf(stderr, "Failed to load %s \"%s\"%s.\n", what, path, empty ? ": it holds no sound" : "");
    return stream;
}

static bool engine_playStream(EngineStreamSlot slot, const char *path, float volume, float speed)
{
    if (!path)
        return false;
    // The same file again: it goes on as it is (also when it failed to load).
    if (!slot.path.empty() && slot.path == path)
        return true;

    engine_destroyStream(slot.stream);
    slot.stream = engine_openStream(path, slot.what);
    slot.playing = slot.stream != nullptr;
    slot.path = path;
    slot.volume = volume;
    if (!slot.stream)
        return false;

    engine_setLoopPoints(slot.stream, path);
    if (!engine_mixer || !al_attach_audio_stream_to_mixer(slot.stream, engine_mixer)) {
        fputs("AUDIO ERROR: Failed when attaching stream to mixer.\n", stderr);
        return false;
    }
    slot.paused = false;
    if (event_queue)
        al_register_event_source(event_queue, al_get_audio_stream_event_source(slot.stream));
    al_set_audio_stream_gain(slot.stream, slot.factor * volume);
    al_set_audio_stream_speed(slot.stream, speed);
    return true;
}

bool engine_playBgm(const char *path, float volume, float speed)
{
    return engine_playStream(engine_bgmSlot(), path, volume, speed);
}

bool engine_playBgs(const char *path, float volume, float speed)
{
    return engine_playStream(engine_bgsSlot(), path, volume, speed);
}

// A loop comment read the way atoi reads text, kept within the range of an int.
static long long engine_loopComment(const TagLib::PropertyMap &properties, const char *key)
{
    auto it = properties.find(key);
    if (it == properties.end())
        return 0;
    std::string text = it->second.toString(" ").toCString(true);
    long long value = strtoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX)
        value = INT_MAX;
    if (value < INT_MIN)
        value = INT_MIN;
    return value;
}

// Streams loop, but a file shorter than one fragment would be rewound many
// times for every fragment and keep Allegro's feeder busy (a one-frame FLAC
// never lets go of its stream): it plays once.
static void engine_setPlayMode(ALLEGRO_AUDIO_STREAM *stream, const char *path)
{
    bool tooShort = engine_streamFrames(stream, al_get_audio_stream_length_secs(stream)) < ENGINE_STREAM_FRAGMENT;
    if (tooShort)
        fprintf(stderr, "\"%s\" is shorter than %d samples: it plays once instead of looping.\n", path,
                ENGINE_STREAM_FRAGMENT);
    // Allegro 5.2.8 returns false from al_set_audio_stream_playmode even when
    // it has applied the mode, so its result says nothing.
    al_set_audio_stream_playmode(stream, tooShort ? ALLEGRO_PLAYMODE_ONCE : ALLEGRO_PLAYMODE_LOOP);
}

// Allegro refuses a loop that ends before it starts. A loop that starts
// before the file or at or past its end is not handed to it either: its
// feeder would spin on the rewind for ever and the stream could no longer be
// destroyed. Nor is one that, cut at the end of the file, is shorter than a
// fragment, which Allegro would rewind on every fragment. Then the whole file
// loops.
static bool engine_loopFits(ALLEGRO_AUDIO_STREAM *stream, double start, double end)
{
    double played = std::min(end, al_get_audio_stream_length_secs(stream)) - start;
    return start >= 0.0 && engine_streamFrames(stream, played) >= ENGINE_STREAM_FRAGMENT;
}

bool engine_setLoopPoints(ALLEGRO_AUDIO_STREAM *stream, const char *path)
{
    if (!stream || !path)
        return false;
    engine_setPlayMode(stream, path);
    if (strstr(path, ".it"))
        return false;
    if (!strstr(path, ".ogg"))
        return true;

    // Anything TagLib cannot read as Ogg Vorbis with a sample rate gets no
    // loop points: the whole file loops. The path is opened afresh here.
    if (!fileExists(path))
        return true;
    TagLib::FileRef file(TagLib::FileName(path), true, TagLib::AudioProperties::Average);
    if (file.isNull())
        return true;
    TagLib::Ogg::XiphComment *comment = dynamic_cast<TagLib::Ogg::XiphComment *>(file.tag());
    TagLib::AudioProperties *properties = file.audioProperties();
    if (!comment || !properties || properties->sampleRate() <= 0)
        return true;

    TagLib::PropertyMap comments = comment->properties();
    long long loopStart = engine_loopComment(comments, "LOOPSTART");
    long long loopLength = engine_loopComment(comments, "LOOPLENGTH");
    double rate = properties->sampleRate();
    double start = loopStart / rate;
    double end = (loopStart + loopLength) / rate;
    fprintf(stderr, "Loop start: %f Loop end %f\n", start, end);
    if (engine_loopFits(stream, start, end))
        al_set_audio_stream_loop_secs(stream, start, end);
    return true;
}

bool fileExists(const char *path)
{
    if (!path)
        return false;
#ifdef _WIN32
    std::ifstream file(path);
    return file.is_open();
#else
    // Opened for reading as a stream would open it, without the stream's
    // buffer: every footstep asks. A named pipe or a device is no file of
    // the game's: reading one may block for ever or never end, so it counts
    // as missing (the open does not wait for a pipe's writer). A folder
    // opens, and its readers fail on it as before.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info;
    bool file = fstat(fd, &info) == 0 && (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode));
    close(fd);
    return file;
#endif
}

// A tile without a step-sound text steps on the bare names 1.ogg to 4.ogg,
// which a game need not have; a named sound that is missing is most often a
// typo in the map, and worth a line.
static bool engine_isBareStep(const std::string &path)
{
    return path.size() == 5 && path[0] >= '1' && path[0] <= '4' && path.compare(1, 4, ".ogg") == 0;
}

void engine_playSe(std::string path, float volume, float speed)
{
    if (!fileExists(path.c_str())) {
        if (!engine_isBareStep(path) && engine_missingSe.insert(path).second)
            fprintf(stderr, "Failed to find sound \"%s\".\n", path.c_str());
        return;
    }
    cache_loadSound(path);
    auto it = _audio_Cache.find(path);
    if (it == _audio_Cache.end() || !it->second || !al_is_audio_installed())
        return;
    al_play_sample(it->second, volume, ALLEGRO_AUDIO_PAN_NONE, speed, ALLEGRO_PLAYMODE_ONCE,
                   &engine_lastSeId);
}

void engine_uninstallAudio()
{
    // Streams first: uninstalling the audio system destroys them too.
    engine_destroyStream(engine_audioStruct.bgm);
    engine_destroyStream(engine_audioStruct.bgs);
    engine_audioStruct.bgmPlaying = false;
    engine_audioStruct.bgsPlaying = false;
    if (al_is_audio_installed())
        al_uninstall_audio();
    // al_uninstall_audio has destroyed every sample and the mixer: forget
    // them so that nothing frees or plays them again.
    for (auto &entry : _audio_Cache)
        entry.second = nullptr;
    engine_mixer = nullptr;
}

static bool engine_stopStream(EngineStreamSlot slot)
{
    if (slot.path.empty())
        return true;
    if (!slot.stream)
        return false;
    engine_destroyStream(slot.stream);
    slot.playing = false;
    slot.path.clear();
    slot.volume = 1.0f;
    return true;
}

static bool engine_pauseStream(EngineStreamSlot slot)
{
    if (!slot.stream || !slot.playing)
        return false;
    bool stopped = al_set_audio_stream_playing(slot.stream, false);
    slot.playing = !stopped;
    return stopped;
}

static bool engine_unpauseStream(EngineStreamSlot slot)
{
    if (!slot.stream || slot.playing)
        return false;
    slot.playing = al_set_audio_stream_playing(slot.stream, true);
    return slot.playing;
}

static bool engine_seekStream(EngineStreamSlot slot, double seconds)
{
    if (!slot.stream)
        return false;
    double length = al_get_audio_stream_length_secs(slot.stream);
    if (seconds > length)
        seconds = length;
    return al_seek_audio_stream_secs(slot.stream, seconds);
}

static double engine_streamPos(EngineStreamSlot slot)
{
    if (!slot.stream)
        return 0.0;
    return al_get_audio_stream_position_secs(slot.stream);
}

bool engine_stopBgm() { return engine_stopStream(engine_bgmSlot()); }
bool engine_stopBgs() { return engine_stopStream(engine_bgsSlot()); }
bool engine_pauseBgm() { return engine_pauseStream(engine_bgmSlot()); }
bool engine_pauseBgs() { return engine_pauseStream(engine_bgsSlot()); }
bool engine_unpauseBgm() { return engine_unpauseStream(engine_bgmSlot()); }
bool engine_unpauseBgs() { return engine_unpauseStream(engine_bgsSlot()); }
bool engine_seekBgm(double seconds) { return engine_seekStream(engine_bgmSlot(), seconds); }
bool engine_seekBgs(double seconds) { return engine_seekStream(engine_bgsSlot(), seconds); }
double engine_getBgmPos() { return engine_streamPos(engine_bgmSlot()); }
double engine_getBgsPos() { return engine_streamPos(engine_bgsSlot()); }

// A new music or sound volume from the settings, applied to the playing stream.
static void engine_setStreamFactor(EngineStreamSlot slot, float factor)
{
    slot.factor = factor;
    if (slot.stream)
        al_set_audio_stream_gain(slot.stream, slot.factor * slot.volume);
}

void engine_setMusicVolume(float v) { engine_setStreamFactor(engine_bgmSlot(), v); }
void engine_setSoundVolume(float v) { engine_setStreamFactor(engine_bgsSlot(), v); }
