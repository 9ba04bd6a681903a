// Helpers for tests that play sound: tones made with
// sox, and a fixture that installs Allegro's audio (on OpenAL Soft's null
// backend when ALSOFT_DRIVERS=null) and uninstalls it again.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <allegro5/allegro.h>
#include <allegro5/allegro_acodec.h>
#include <allegro5/allegro_audio.h>
#include <allegro5/allegro_image.h>

#include "system.h"
#include "test_support.h"

inline bool runQuiet(const std::string &command)
{
    return system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A 16-bit sine tone of the given length at 44100 Hz; the extension picks
// the format.
inline bool makeTone(const std::string &path, double seconds)
{
    return runQuiet("sox -n -r 44100 -b 16 -c 1 '" + path + "' synth " + std::to_string(seconds) + " sine 440");
}

// Adds Vorbis comments ("KEY=value") to an Ogg file.
inline bool addComment(const std::string &path, const std::string &comment)
{
    return runQuiet("vorbiscomment -a -t '" + comment + "' '" + path + "'");
}

class AudioTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(al_install_system(ALLEGRO_VERSION_INT, atexit));
        ASSERT_TRUE(al_init_image_addon());
        ASSERT_TRUE(al_install_audio());
        ASSERT_TRUE(al_init_acodec_addon());
        ASSERT_TRUE(al_reserve_samples(16));
        engine_mixer = al_get_default_mixer();
        ASSERT_NE(engine_mixer, nullptr);
        event_queue = al_create_event_queue();
        ASSERT_NE(event_queue, nullptr);
        musicVol = 1.0f;
        soundVol = 1.0f;
        ASSERT_FALSE(dir.path().empty());
    }

    void TearDown() override
    {
        // A process that ends with audio installed may hang.
        engine_uninstallAudio();
        engine_audioStruct = EngineAudio{nullptr, nullptr, false, false, false, false, "", "", 0.0f, 0.0f};
        _audio_Cache.clear();
        if (event_queue)
            al_destroy_event_queue(event_queue);
        event_queue = nullptr;
    }

    TempDir dir;
};
