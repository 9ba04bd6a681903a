// The engine frame: start-up, the sixty-tick loop, shut-down, screen freeze
// and crossfade, config.cfg, the bitmap and sample caches, music, ambient
// sound and sound effects.
#pragma once

#include <map>
#include <string>

#include <allegro5/allegro.h>
#include <allegro5/allegro_audio.h>
#include <allegro5/allegro_font.h>

// --- start-up, loop, shut-down -------------------------------------------

extern ALLEGRO_DISPLAY *display;
extern ALLEGRO_TIMER *timer;
extern ALLEGRO_EVENT_QUEUE *event_queue;
// Holds the display's events alone; the loop looks at it before each event.
extern ALLEGRO_EVENT_QUEUE *engine_closeQueue;
extern ALLEGRO_BITMAP *icon;
extern ALLEGRO_MIXER *engine_mixer;
extern ALLEGRO_FONT *system_fontNormal;
extern ALLEGRO_FONT *system_fontBig;
extern ALLEGRO_FONT *system_fontSmall;
extern ALLEGRO_FONT *system_fontDamage;
extern ALLEGRO_FONT *system_fontSpecial;
extern int width;
extern int height;

typedef void (*engine_callback)();
extern engine_callback update_callback;
extern engine_callback freeze_callback;

int engine_initialize();
// Builds the party and the player and loads the start map. 1, after a
// message, when the start map cannot be loaded.
int engine_createNewGameObjects();
int engine_loop();
// Handles one event taken from the queue; engine_loop calls it after its wait.
// Returns 1 for the display's close event, else 0.
int engine_handleEvent(const ALLEGRO_EVENT &event);
// One tick of the loop (what a timer event does).
void engine_tick();
void engine_exit();

void set_update_callback(engine_callback fn);
bool call_update_callback();
bool call_freeze_callback();
void set_freeze_callback(engine_callback fn);

int engine_ScrW();
int engine_ScrH();
ALLEGRO_FONT *getFont(int id);

// How many times the display has been flipped since start-up.
extern unsigned long engine_flipCount;

// Loads one TrueType font; a font that fails to load gets one line on
// standard error naming the file, and null is returned.
ALLEGRO_FONT *engine_loadFont(const char *path, int size);

// A path written with Windows separators ("data\\database.lua") made to reach
// the same file here: every backslash becomes the platform's separator.
std::string engine_localPath(const std::string &path);

// --- screen freeze and crossfade ------------------------------------------

extern ALLEGRO_BITMAP *screen_clone[2];
extern bool _engine_freeze;
extern bool _engine_transition;
extern int _engine_transitionFrames;
extern float _engine_transitionStep;

void engine_freezeScreen();
void engine_transition(int n);
void engine_updateTransition();
bool engine_isFrozen();

// --- configuration file -----------------------------------------------------

extern ALLEGRO_CONFIG *config_struct;
extern int displayMode;
extern bool fullscreen;
extern float musicVol;
extern float soundVol;

const char *engine_getConfigVal(const char *section, const char *key, const char *def);
void engine_loadConfig();
void engine_saveConfig();
void engine_destroyConfig();
ALLEGRO_CONFIG *getConfig();
std::string to_string(int value);
// The length of the well-formed UTF-8 character at text[i], or 0 when the
// byte there starts none (a stray continuation byte, an overlong form, a
// surrogate or a value beyond U+10FFFF).
size_t engine_utf8Length(const std::string &text, size_t i);

// --- bitmap and sample caches ----------------------------------------------

// Keyed by the path exactly as given. An entry holds what Allegro loaded,
// or null when the load failed; it is never retried. The caches own what
// they hold.
extern std::map<std::string, ALLEGRO_BITMAP *> _graphics_Cache;
extern std::map<std::string, ALLEGRO_SAMPLE *> _audio_Cache;

bool cache_loadBitmap(const std::string &path);
ALLEGRO_BITMAP *cache_getBitmap(const std::string &path);
bool cache_loadSound(const std::string &path);
void cache_clearBitmaps();
void cache_clearSamples();
// Destroys the cached bitmaps; the samples stay.
void cache_clear();

// --- music, ambient sound and sound effects ---------------------------------

struct EngineAudio {
    ALLEGRO_AUDIO_STREAM *bgm;
    ALLEGRO_AUDIO_STREAM *bgs;
    bool bgmPlaying;
    bool bgsPlaying;
    bool bgmPaused;
    bool bgsPaused;
    std::string bgmPath;
    std::string bgsPath;
    float bgmVolume;
    float bgsVolume;
};

extern EngineAudio engine_audioStruct;
extern ALLEGRO_VOICE *engine_voice;
// The id of the latest sound-effect playback (its _id is -1 when Allegro
// had no free sample instance for it).
extern ALLEGRO_SAMPLE_ID engine_lastSeId;

bool engine_playBgm(const char *path, float volume, float speed);
bool engine_playBgs(const char *path, float volume, float speed);
bool engine_setLoopPoints(ALLEGRO_AUDIO_STREAM *stream, const char *path);
void engine_playSe(std::string path, float volume, float speed);
// True when path can be opened for reading and is a regular file or a
// folder; a named pipe, a device or a socket counts as missing. Every file
// the engine opens by name from the game folder is asked about first.
bool fileExists(const char *path);
void engine_uninstallAudio();

bool engine_stopBgm();
bool engine_stopBgs();
bool engine_pauseBgm();
bool engine_pauseBgs();
bool engine_unpauseBgm();
bool engine_unpauseBgs();
bool engine_seekBgm(double seconds);
bool engine_seekBgs(double seconds);
double engine_getBgmPos();
double engine_getBgsPos();
void engine_setMusicVolume(float v);
void engine_setSoundVolume(float v);
