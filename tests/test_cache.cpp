#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "audio_fixture.h"
#include "system.h"

namespace {

bool makePng(const std::string &path, int w, int h)
{
    ALLEGRO_BITMAP *bitmap = al_create_bitmap(w, h);
    if (!bitmap)
        return false;
    bool saved = al_save_bitmap(path.c_str(), bitmap);
    al_destroy_bitmap(bitmap);
    return saved;
}

class BitmapCacheTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(al_install_system(ALLEGRO_VERSION_INT, atexit));
        ASSERT_TRUE(al_init_image_addon());
        ASSERT_FALSE(dir.path().empty());
    }

    void TearDown() override { cache_clearBitmaps(); }

    TempDir dir;
};

TEST_F(BitmapCacheTest, LoadingTwiceReadsOnce)
{
    std::string path = dir.file("hero.png");
    ASSERT_TRUE(makePng(path, 24, 32));
    EXPECT_TRUE(cache_loadBitmap(path));
    ALLEGRO_BITMAP *first = cache_getBitmap(path);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(al_get_bitmap_width(first), 24);

    // The file is gone and replaced: the cache does not look again.
    remove(path.c_str());
    EXPECT_TRUE(cache_loadBitmap(path));
    EXPECT_EQ(cache_getBitmap(path), first);
    ASSERT_TRUE(makePng(path, 8, 8));
    EXPECT_TRUE(cache_loadBitmap(path));
    EXPECT_EQ(cache_getBitmap(path), first);
    EXPECT_EQ(al_get_bitmap_width(cache_getBitmap(path)), 24);
}

TEST_F(BitmapCacheTest, FailedLoadIsNotRetried)
{
    std::string path = dir.file("missing.png");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(cache_loadBitmap(path));
    EXPECT_EQ(cache_getBitmap(path), nullptr);
    // Now the file exists, but the failed entry stands.
    ASSERT_TRUE(makePng(path, 4, 4));
    EXPECT_TRUE(cache_loadBitmap(path));
    EXPECT_EQ(cache_getBitmap(path), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    // One line for the missing image, not one per request.
    EXPECT_EQ(err, "Failed to load image \"" + path + "\".\n");
}

TEST_F(BitmapCacheTest, KeyIsThePathAsGiven)
{
    std::string path = dir.file("sheet.png");
    ASSERT_TRUE(makePng(path, 4, 4));
    std::string other = dir.path() + "/./sheet.png";
    EXPECT_TRUE(cache_loadBitmap(path));
    EXPECT_TRUE(cache_loadBitmap(other));
    ASSERT_NE(cache_getBitmap(path), nullptr);
    ASSERT_NE(cache_getBitmap(other), nullptr);
    EXPECT_NE(cache_getBitmap(path), cache_getBitmap(other));

    testing::internal::CaptureStderr();
    std::string windows = dir.path() + "\\sheet.png";
    EXPECT_FALSE(cache_loadBitmap(windows));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(cache_getBitmap(windows), nullptr);
    EXPECT_NE(cache_getBitmap(path), nullptr);
    EXPECT_EQ(cache_getBitmap(dir.file("never-loaded.png")), nullptr);
}

class SampleCacheTest : public AudioTest {};

TEST_F(SampleCacheTest, LoadingTwiceReadsOnceAndFailuresStay)
{
    std::string path = dir.file("step1.wav");
    ASSERT_TRUE(makeTone(path, 0.1));
    EXPECT_TRUE(cache_loadSound(path));
    ALLEGRO_SAMPLE *sample = _audio_Cache[path];
    ASSERT_NE(sample, nullptr);
    remove(path.c_str());
    EXPECT_TRUE(cache_loadSound(path));
    EXPECT_EQ(_audio_Cache[path], sample);

    std::string missing = dir.file("step2.wav");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(cache_loadSound(missing));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to load sound \"" + missing + "\".\n");
    ASSERT_TRUE(makeTone(missing, 0.1));
    EXPECT_TRUE(cache_loadSound(missing));
    EXPECT_EQ(_audio_Cache[missing], nullptr);
}

TEST_F(SampleCacheTest, ClearDestroysBitmapsAndLeavesSamples)
{
    ASSERT_TRUE(al_init_image_addon());
    std::string image = dir.file("a.png");
    ASSERT_TRUE(makePng(image, 4, 4));
    std::string sound = dir.file("a.wav");
    ASSERT_TRUE(makeTone(sound, 0.2));

    ASSERT_TRUE(cache_loadBitmap(image));
    ASSERT_TRUE(cache_loadSound(sound));
    ALLEGRO_SAMPLE *sample = _audio_Cache[sound];
    ASSERT_NE(sample, nullptr);

    cache_clear();
    EXPECT_EQ(cache_getBitmap(image), nullptr);
    ASSERT_EQ(_audio_Cache.count(sound), 1u);
    EXPECT_EQ(_audio_Cache[sound], sample);
    // The sample is alive and can be played.
    EXPECT_EQ(al_get_sample_frequency(sample), 44100u);
    EXPECT_TRUE(al_play_sample(sample, 0.0f, 0.0f, 1.0f, ALLEGRO_PLAYMODE_ONCE, nullptr));
}

// Uninstalling audio destroys every sample: the cache forgets them and never
// frees them a second time (AddressSanitizer would see a double free).
TEST_F(SampleCacheTest, UninstallForgetsTheSamples)
{
    std::string sound = dir.file("b.wav");
    ASSERT_TRUE(makeTone(sound, 0.2));
    ASSERT_TRUE(cache_loadSound(sound));
    engine_uninstallAudio();
    EXPECT_FALSE(al_is_audio_installed());
    EXPECT_EQ(engine_mixer, nullptr);
    ASSERT_EQ(_audio_Cache.count(sound), 1u);
    EXPECT_EQ(_audio_Cache[sound], nullptr);
    cache_clearSamples();
    EXPECT_TRUE(_audio_Cache.empty());
    // Sound effects after shut-down do nothing.
    engine_playSe(sound, 1.0f, 1.0f);
    cache_clear();
}

} // namespace
