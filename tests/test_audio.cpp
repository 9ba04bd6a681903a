// Sample ids are looked up through Allegro's unstable API.
#define ALLEGRO_UNSTABLE

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "audio_fixture.h"
#include "system.h"

namespace {

// What al_get_audio_stream_playmode reports for a stream set to loop, and
// for one left as loaded (Allegro reports its own stream modes).
ALLEGRO_PLAYMODE streamMode(const std::string &path, bool loop)
{
    ALLEGRO_AUDIO_STREAM *stream = al_load_audio_stream(path.c_str(), 4, 2048);
    if (!stream)
        return ALLEGRO_PLAYMODE_ONCE;
    if (loop)
        al_set_audio_stream_playmode(stream, ALLEGRO_PLAYMODE_LOOP);
    ALLEGRO_PLAYMODE mode = al_get_audio_stream_playmode(stream);
    al_destroy_audio_stream(stream);
    return mode;
}

class MusicTest : public AudioTest {
protected:
    void SetUp() override
    {
        AudioTest::SetUp();
        if (HasFatalFailure())
            return;
        std::string probe = makeOgg("probe.ogg");
        loopMode = streamMode(probe, true);
        ASSERT_NE(loopMode, streamMode(probe, false));
    }

    ALLEGRO_PLAYMODE loopMode = ALLEGRO_PLAYMODE_LOOP;

    // A four-second Ogg tone, with the given comments ("KEY=value").
    std::string makeOgg(const std::string &name, std::initializer_list<std::string> comments = {})
    {
        std::string path = dir.file(name);
        EXPECT_TRUE(makeTone(path, 4.0)) << "sox could not make " << path;
        for (const std::string &comment : comments)
            EXPECT_TRUE(addComment(path, comment)) << "vorbiscomment failed on " << path;
        return path;
    }

    std::string playBgm(const std::string &path, float volume = 1.0f, float speed = 1.0f, bool *result = nullptr)
    {
        testing::internal::CaptureStderr();
        bool ok = engine_playBgm(path.c_str(), volume, speed);
        if (result)
            *result = ok;
        return testing::internal::GetCapturedStderr();
    }
};

TEST_F(MusicTest, LoopPointsFromComments)
{
    std::string path = makeOgg("theme.ogg", {"LOOPSTART=44100", "LOOPLENGTH=88200"});
    bool ok = false;
    std::string err = playBgm(path, 1.0f, 1.0f, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(err, "Loop start: 1.000000 Loop end 3.000000\n");
    ALLEGRO_AUDIO_STREAM *bgm = engine_audioStruct.bgm;
    ASSERT_NE(bgm, nullptr);
    EXPECT_TRUE(engine_audioStruct.bgmPlaying);
    EXPECT_EQ(engine_audioStruct.bgmPath, path);
    EXPECT_TRUE(al_get_audio_stream_attached(bgm));
    EXPECT_TRUE(al_get_audio_stream_playing(bgm));
    EXPECT_EQ(al_get_audio_stream_playmode(bgm), loopMode);
}

TEST_F(MusicTest, MissingCommentsLogZeroes)
{
    std::string path = makeOgg("plain.ogg");
    bool ok = false;
    EXPECT_EQ(playBgm(path, 1.0f, 1.0f, &ok), "Loop start: 0.000000 Loop end 0.000000\n");
    EXPECT_TRUE(ok);
    EXPECT_EQ(al_get_audio_stream_playmode(engine_audioStruct.bgm), loopMode);
}

TEST_F(MusicTest, CommentGivenTwiceUsesTheFirstValue)
{
    std::string path = makeOgg("twice.ogg", {"LOOPSTART=22050", "LOOPSTART=88200", "LOOPLENGTH=44100x"});
    EXPECT_EQ(playBgm(path), "Loop start: 0.500000 Loop end 1.500000\n");
}

// Out-of-range numbers in the comments: no overflow, no loop that starts
// before the file, and the stream still plays.
TEST_F(MusicTest, HugeAndNegativeComments)
{
    std::string huge = makeOgg("huge.ogg", {"LOOPSTART=2147483647", "LOOPLENGTH=99999999999"});
    bool ok = false;
    std::string err = playBgm(huge, 1.0f, 1.0f, &ok);
    EXPECT_TRUE(ok);
    char expected[128];
    snprintf(expected, sizeof expected, "Loop start: %f Loop end %f\n", 2147483647 / 44100.0,
             (2147483647.0 + 2147483647.0) / 44100.0);
    EXPECT_EQ(err, expected);

    std::string negative = makeOgg("negative.ogg", {"LOOPSTART=-44100", "LOOPLENGTH=88200"});
    err = playBgm(negative, 1.0f, 1.0f, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(err, "Loop start: -1.000000 Loop end 1.000000\n");
    EXPECT_EQ(al_get_audio_stream_playmode(engine_audioStruct.bgm), loopMode);
}

// Files that would keep Allegro's feeder rewinding without end: an Ogg with
// no sound is refused like a file that fails to load, a loop shorter than one
// 2048-sample fragment gives way to the whole file, and a file shorter than a
// fragment plays once. Every stream can still be replaced and destroyed.
TEST_F(MusicTest, NothingTooShortIsLooped)
{
    std::string empty = dir.file("empty.ogg");
    ASSERT_TRUE(runQuiet("sox -n -r 44100 -c 1 '" + empty + "' trim 0 0"));
    bool ok = true;
    EXPECT_EQ(playBgm(empty, 1.0f, 1.0f, &ok), "Failed to load music \"" + empty + "\": it holds no sound.\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(engine_audioStruct.bgm, nullptr);
    EXPECT_FALSE(engine_audioStruct.bgmPlaying);
    EXPECT_EQ(engine_audioStruct.bgmPath, empty);

    // Allegro seeks only to a point before the end of the loop it was given,
    // so a seek past a loop's end tells whether the loop was set.
    const struct {
        const char *length;
        const char *log;
        bool loopSet;
    } loops[] = {
        {"1", "Loop start: 1.000000 Loop end 1.000023\n", false},
        {"2047", "Loop start: 1.000000 Loop end 1.046417\n", false},
        {"2048", "Loop start: 1.000000 Loop end 1.046440\n", true},
    };
    for (const auto &loop : loops) {
        std::string path = makeOgg(std::string("loop") + loop.length + ".ogg",
                                   {"LOOPSTART=44100", std::string("LOOPLENGTH=") + loop.length});
        EXPECT_EQ(playBgm(path, 1.0f, 1.0f, &ok), loop.log);
        EXPECT_TRUE(ok);
        ASSERT_NE(engine_audioStruct.bgm, nullptr);
        EXPECT_EQ(al_get_audio_stream_playmode(engine_audioStruct.bgm), loopMode);
        EXPECT_EQ(al_seek_audio_stream_secs(engine_audioStruct.bgm, 2.0), !loop.loopSet) << loop.length;
    }

    std::string frame = dir.file("frame.ogg");
    ASSERT_TRUE(runQuiet("sox -n -r 44100 -c 1 '" + frame + "' synth 1s sine 440"));
    EXPECT_EQ(playBgm(frame, 1.0f, 1.0f, &ok), "\"" + frame +
              "\" is shorter than 2048 samples: it plays once instead of looping.\n"
              "Loop start: 0.000000 Loop end 0.000000\n");
    EXPECT_TRUE(ok);
    ASSERT_NE(engine_audioStruct.bgm, nullptr);
    EXPECT_EQ(al_get_audio_stream_playmode(engine_audioStruct.bgm), streamMode(frame, false));
    EXPECT_NE(al_get_audio_stream_playmode(engine_audioStruct.bgm), loopMode);
}

TEST_F(MusicTest, SamePathTwiceKeepsTheStream)
{
    musicVol = 0.5f;
    std::string path = makeOgg("same.ogg");
    bool ok = false;
    playBgm(path, 0.8f, 1.0f, &ok);
    ASSERT_TRUE(ok);
    ALLEGRO_AUDIO_STREAM *first = engine_audioStruct.bgm;
    ASSERT_NE(first, nullptr);

    std::string err = playBgm(path, 0.3f, 2.0f, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(err, ""); // not opened again
    EXPECT_EQ(engine_audioStruct.bgm, first);
    EXPECT_FLOAT_EQ(al_get_audio_stream_gain(first), 0.4f);
    EXPECT_FLOAT_EQ(al_get_audio_stream_speed(first), 1.0f);
    EXPECT_FLOAT_EQ(engine_audioStruct.bgmVolume, 0.8f);
}

TEST_F(MusicTest, MissingFileStopsTheOldMusic)
{
    std::string path = makeOgg("old.ogg");
    bool ok = false;
    playBgm(path, 1.0f, 1.0f, &ok);
    ASSERT_TRUE(ok);

    std::string missing = dir.file("missing.ogg");
    std::string err = playBgm(missing, 1.0f, 1.0f, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(err, "Failed to load music \"" + missing + "\".\n");
    EXPECT_EQ(engine_audioStruct.bgm, nullptr);
    EXPECT_FALSE(engine_audioStruct.bgmPlaying);
    EXPECT_EQ(engine_audioStruct.bgmPath, missing);

    // The same missing path again: not tried again, reported as current.
    err = playBgm(missing, 1.0f, 1.0f, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(err, "");
    EXPECT_EQ(engine_audioStruct.bgm, nullptr);

    // Another path in between, and the missing one is tried once more.
    playBgm(path, 1.0f, 1.0f, &ok);
    EXPECT_TRUE(ok);
    err = playBgm(missing, 1.0f, 1.0f, &ok);
    EXPECT_FALSE(ok);
}

TEST_F(MusicTest, ItInThePathGetsLoopModeOnly)
{
    std::string path = makeOgg("song.item.ogg", {"LOOPSTART=44100", "LOOPLENGTH=88200"});
    bool ok = false;
    std::string err = playBgm(path, 1.0f, 1.0f, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(err, "");
    ALLEGRO_AUDIO_STREAM *bgm = engine_audioStruct.bgm;
    ASSERT_NE(bgm, nullptr);
    EXPECT_EQ(al_get_audio_stream_playmode(bgm), loopMode);
    EXPECT_FALSE(engine_setLoopPoints(bgm, path.c_str()));
    EXPECT_FALSE(engine_setLoopPoints(bgm, "music/tune.it"));
    EXPECT_TRUE(engine_setLoopPoints(bgm, "music/tune.wav"));
}

TEST_F(MusicTest, CapitalOggIsNotReadForLoopPoints)
{
    std::string ogg = makeOgg("loud.ogg", {"LOOPSTART=44100", "LOOPLENGTH=88200"});
    std::string capital = dir.file("LOUD.OGG");
    ASSERT_EQ(rename(ogg.c_str(), capital.c_str()), 0);
    bool ok = false;
    std::string err = playBgm(capital, 1.0f, 1.0f, &ok);
    EXPECT_EQ(err, "");
    if (!ok) {
        // Allegro may not decode a capital extension: then nothing plays.
        EXPECT_EQ(engine_audioStruct.bgm, nullptr);
        return;
    }
    ASSERT_NE(engine_audioStruct.bgm, nullptr);
    EXPECT_EQ(al_get_audio_stream_playmode(engine_audioStruct.bgm), loopMode);
    EXPECT_TRUE(engine_setLoopPoints(engine_audioStruct.bgm, capital.c_str()));
}

// Files TagLib cannot take as Ogg Vorbis: no loop points, no crash.
TEST_F(MusicTest, UnreadableTagsGetNoLoopPoints)
{
    std::string wav = dir.file("tone.ogg.wav");
    ASSERT_TRUE(makeTone(wav, 1.0));
    std::string plain = makeOgg("x.ogg");
    ALLEGRO_AUDIO_STREAM *stream = al_load_audio_stream(plain.c_str(), 4, 2048);
    ASSERT_NE(stream, nullptr);

    std::string fake = dir.file("fake.ogg");
    FILE *f = fopen(fake.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("OggS but not really", f);
    fclose(f);
    std::string empty = dir.file("empty.ogg");
    fclose(fopen(empty.c_str(), "wb"));

    testing::internal::CaptureStderr();
    EXPECT_TRUE(engine_setLoopPoints(stream, wav.c_str()));
    EXPECT_TRUE(engine_setLoopPoints(stream, fake.c_str()));
    EXPECT_TRUE(engine_setLoopPoints(stream, empty.c_str()));
    EXPECT_TRUE(engine_setLoopPoints(stream, dir.file("gone.ogg").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(al_get_audio_stream_playmode(stream), loopMode);
    al_destroy_audio_stream(stream);

    // The same broken files asked for as music fail to load, quietly apart
    // from their line.
    bool ok = true;
    std::string err = playBgm(fake, 1.0f, 1.0f, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(err, "Failed to load music \"" + fake + "\".\n");
}

TEST_F(MusicTest, GainUsesTheRightFactor)
{
    musicVol = 0.5f;
    soundVol = 0.25f;
    std::string music = makeOgg("m.ogg");
    std::string ambient = makeOgg("a.ogg");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(engine_playBgm(music.c_str(), 0.8f, 1.5f));
    EXPECT_TRUE(engine_playBgs(ambient.c_str(), 0.8f, 0.5f));
    testing::internal::GetCapturedStderr();
    ASSERT_NE(engine_audioStruct.bgm, nullptr);
    ASSERT_NE(engine_audioStruct.bgs, nullptr);
    EXPECT_FLOAT_EQ(al_get_audio_stream_gain(engine_audioStruct.bgm), 0.4f);
    EXPECT_FLOAT_EQ(al_get_audio_stream_gain(engine_audioStruct.bgs), 0.2f);
    EXPECT_FLOAT_EQ(al_get_audio_stream_speed(engine_audioStruct.bgm), 1.5f);
    EXPECT_FLOAT_EQ(al_get_audio_stream_speed(engine_audioStruct.bgs), 0.5f);
    EXPECT_EQ(engine_audioStruct.bgsPath, ambient);

    engine_setMusicVolume(1.0f);
    EXPECT_FLOAT_EQ(al_get_audio_stream_gain(engine_audioStruct.bgm), 0.8f);
    EXPECT_FLOAT_EQ(al_get_audio_stream_gain(engine_audioStruct.bgs), 0.2f);
    engine_setSoundVolume(0.5f);
    EXPECT_FLOAT_EQ(al_get_audio_stream_gain(engine_audioStruct.bgs), 0.4f);
    EXPECT_FLOAT_EQ(soundVol, 0.5f);
}

TEST_F(MusicTest, StopPauseSeekAndPosition)
{
    EXPECT_TRUE(engine_stopBgm()); // nothing asked for yet
    EXPECT_FALSE(engine_pauseBgm());
    EXPECT_FALSE(engine_unpauseBgm());
    EXPECT_FALSE(engine_seekBgm(1.0));
    EXPECT_EQ(engine_getBgmPos(), 0.0);

    std::string path = makeOgg("s.ogg");
    testing::internal::CaptureStderr();
    ASSERT_TRUE(engine_playBgm(path.c_str(), 0.6f, 1.0f));
    testing::internal::GetCapturedStderr();
    ALLEGRO_AUDIO_STREAM *bgm = engine_audioStruct.bgm;

    EXPECT_TRUE(engine_pauseBgm());
    EXPECT_FALSE(engine_audioStruct.bgmPlaying);
    EXPECT_FALSE(al_get_audio_stream_playing(bgm));
    EXPECT_FALSE(engine_pauseBgm()); // already paused
    EXPECT_TRUE(engine_unpauseBgm());
    EXPECT_TRUE(engine_audioStruct.bgmPlaying);
    EXPECT_TRUE(al_get_audio_stream_playing(bgm));
    EXPECT_FALSE(engine_unpauseBgm()); // already playing

    EXPECT_TRUE(engine_pauseBgm());
    // The decoder runs ahead of what is heard by at most the four buffers
    // of 2048 samples.
    const double ahead = 4 * 2048 / 44100.0 + 0.01;
    EXPECT_TRUE(engine_seekBgm(2.0));
    EXPECT_GE(engine_getBgmPos(), 2.0 - 0.01);
    EXPECT_LE(engine_getBgmPos(), 2.0 + ahead);
    EXPECT_TRUE(engine_seekBgm(3.5));
    EXPECT_GE(engine_getBgmPos(), 3.5 - 0.01);
    EXPECT_LE(engine_getBgmPos(), 3.5 + ahead);
    // Beyond the end: lowered to the length (whether Allegro can seek to
    // the very end is its own affair).
    engine_seekBgm(100.0);
    EXPECT_LE(engine_getBgmPos(), al_get_audio_stream_length_secs(bgm) + 0.01);

    EXPECT_TRUE(engine_stopBgm());
    EXPECT_EQ(engine_audioStruct.bgm, nullptr);
    EXPECT_FALSE(engine_audioStruct.bgmPlaying);
    EXPECT_EQ(engine_audioStruct.bgmPath, "");
    EXPECT_FLOAT_EQ(engine_audioStruct.bgmVolume, 1.0f);
    EXPECT_TRUE(engine_stopBgm());

    // A failed load leaves a path without a stream.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(engine_playBgs(dir.file("none.ogg").c_str(), 1.0f, 1.0f));
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(engine_stopBgs());
}

TEST_F(MusicTest, UninstallDestroysStreamsFirst)
{
    std::string a = makeOgg("u1.ogg");
    std::string b = makeOgg("u2.ogg");
    testing::internal::CaptureStderr();
    ASSERT_TRUE(engine_playBgm(a.c_str(), 1.0f, 1.0f));
    ASSERT_TRUE(engine_playBgs(b.c_str(), 1.0f, 1.0f));
    testing::internal::GetCapturedStderr();
    engine_uninstallAudio();
    EXPECT_FALSE(al_is_audio_installed());
    EXPECT_EQ(engine_audioStruct.bgm, nullptr);
    EXPECT_EQ(engine_audioStruct.bgs, nullptr);
    EXPECT_EQ(engine_mixer, nullptr);
    // Nothing is left to free twice, and no call needs the audio system.
    engine_uninstallAudio();
    EXPECT_FALSE(engine_stopBgm());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(engine_playBgm(b.c_str(), 1.0f, 1.0f));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to load music \"" + b + "\".\n");
    EXPECT_EQ(engine_audioStruct.bgm, nullptr);
}

class SoundEffectTest : public AudioTest {};

TEST_F(SoundEffectTest, PlaysAtExactlyItsOwnVolume)
{
    musicVol = 0.5f;
    soundVol = 0.25f;
    std::string path = dir.file("step.wav");
    ASSERT_TRUE(makeTone(path, 2.0));
    engine_lastSeId = {-1, -1};
    engine_playSe(path, 0.7f, 1.25f);
    ASSERT_NE(engine_lastSeId._id, -1);
    ALLEGRO_SAMPLE_INSTANCE *instance = al_lock_sample_id(&engine_lastSeId);
    ASSERT_NE(instance, nullptr);
    EXPECT_FLOAT_EQ(al_get_sample_instance_gain(instance), 0.7f);
    EXPECT_FLOAT_EQ(al_get_sample_instance_speed(instance), 1.25f);
    EXPECT_FLOAT_EQ(al_get_sample_instance_pan(instance), ALLEGRO_AUDIO_PAN_NONE);
    EXPECT_EQ(al_get_sample_instance_playmode(instance), ALLEGRO_PLAYMODE_ONCE);
    al_unlock_sample_id(&engine_lastSeId);
    EXPECT_NE(_audio_Cache[path], nullptr);
}

TEST_F(SoundEffectTest, MissingEffectDoesNothingUntilItExists)
{
    std::string path = dir.file("later.wav");
    engine_lastSeId = {-2, -2};
    testing::internal::CaptureStderr();
    engine_playSe(path, 1.0f, 1.0f);
    engine_playSe(path, 1.0f, 1.0f);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to find sound \"" + path + "\".\n");
    EXPECT_EQ(engine_lastSeId._id, -2);
    EXPECT_EQ(_audio_Cache.count(path), 0u);

    ASSERT_TRUE(makeTone(path, 1.0));
    engine_playSe(path, 1.0f, 1.0f);
    EXPECT_GE(engine_lastSeId._id, 0);

    // A tile without a step-sound text steps on the bare names, which a game
    // need not have: they are asked for without a line, and play once there.
    ASSERT_TRUE(dir.enter());
    engine_lastSeId = {-2, -2};
    testing::internal::CaptureStderr();
    engine_playSe("3.ogg", 1.0f, 1.0f);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(engine_lastSeId._id, -2);
    ASSERT_TRUE(makeTone(dir.file("3.ogg"), 1.0));
    engine_playSe("3.ogg", 1.0f, 1.0f);
    EXPECT_GE(engine_lastSeId._id, 0);
    EXPECT_TRUE(dir.leave());
}

TEST_F(SoundEffectTest, UndecodableEffectDoesNothing)
{
    std::string path = dir.file("noise.wav");
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("RIFF nonsense", f);
    fclose(f);
    engine_lastSeId = {-2, -2};
    testing::internal::CaptureStderr();
    engine_playSe(path, 1.0f, 1.0f);
    engine_playSe(path, 1.0f, 1.0f);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to load sound \"" + path + "\".\n");
    EXPECT_EQ(engine_lastSeId._id, -2);
    EXPECT_FALSE(fileExists(dir.file("nothing").c_str()));
    EXPECT_TRUE(fileExists(path.c_str()));
}

} // namespace
