// Message boxes and skinned windows, driven through the loop's tick with the
// Ok key on a fake keyboard; pixels are read from a memory bitmap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <allegro5/allegro_image.h>
#include <allegro5/allegro_ttf.h>

#include "input.h"
#include "luaparse.h"
#include "message.h"
#include "system.h"
#include "test_support.h"
#include "window.h"

namespace {

ALLEGRO_KEYBOARD_STATE fakeKeyboard;
void (*const allegroPoll)(ALLEGRO_KEYBOARD_STATE *) = input_pollKeyboard;
void pollFake(ALLEGRO_KEYBOARD_STATE *state) { *state = fakeKeyboard; }

// Colours as 0xRRGGBB. The test skin's centre is BODY with MARK in its
// top-left 8 x 8 pixels; frame part i (tl, t, tr, l, r, bl, b, br) is
// frame(i).
const unsigned PAPER = 0x808080, BODY = 0x0000C8, MARK = 0xC80000, WHITE = 0xFFFFFF;
const char *const FRAME[8] = {"tl", "t", "tr", "l", "r", "bl", "b", "br"};
unsigned frame(int i) { return 0x10A040 + 0x180000 * i; }
ALLEGRO_COLOR colourOf(unsigned c) { return al_map_rgb(c >> 16, (c >> 8) & 0xFF, c & 0xFF); }

bool writeSkinPart(const std::string &part, int size, unsigned fill, bool marked = false)
{
    ALLEGRO_BITMAP *image = al_create_bitmap(size, size), *old = al_get_target_bitmap();
    if (!image)
        return false;
    al_set_target_bitmap(image);
    al_clear_to_color(colourOf(fill));
    if (marked) {
        al_set_clipping_rectangle(0, 0, 8, 8);
        al_clear_to_color(colourOf(MARK));
    }
    al_set_target_bitmap(old);
    bool saved = al_save_bitmap(("gfx/system/wskin_" + part + ".png").c_str(), image);
    al_destroy_bitmap(image);
    return saved;
}

class MessageTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(al_install_system(ALLEGRO_VERSION_INT, atexit));
        ASSERT_TRUE(al_init_image_addon() && al_init_font_addon() && al_init_ttf_addon());
        ASSERT_EQ(display, nullptr);
        oldFlags = al_get_new_bitmap_flags();
        al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP | ALLEGRO_MIN_LINEAR | ALLEGRO_MAG_LINEAR);
        ASSERT_TRUE(dir.enter());
        ASSERT_EQ(std::system("mkdir -p gfx/system"), 0);
        ASSERT_TRUE(writeSkinPart("center", 32, BODY, true) && writeSkinPart("aux", 8, WHITE));
        for (int i = 0; i < 8; i++)
            ASSERT_TRUE(writeSkinPart(FRAME[i], 16, frame(i)));
        ASSERT_NE(target = al_create_bitmap(640, 200), nullptr);
        al_set_target_bitmap(target);
        al_clear_to_color(colourOf(PAPER));

        input_pollKeyboard = pollFake;
        input_setKey(KEY_OK, ALLEGRO_KEY_C);
        tick(false);
        set_update_callback(message_updateAll);
        message_setOptions();
    }

    void TearDown() override
    {
        set_update_callback(nullptr);
        _engine_freeze = false;
        messageBox.clear();
        for (int slot = 0; slot < WINDOW_SLOTS; slot++)
            window_dispose(slot);
        if (system_fontNormal)
            al_destroy_font(system_fontNormal);
        system_fontNormal = nullptr;
        al_set_target_bitmap(nullptr);
        if (target)
            al_destroy_bitmap(target);
        al_set_new_bitmap_flags(oldFlags);
        tick(false);
        input_pollKeyboard = allegroPoll;
    }

    // One tick of the loop, the Ok key down or up for it.
    void tick(bool ok = false)
    {
        memset(&fakeKeyboard, 0, sizeof fakeKeyboard);
        if (ok)
            fakeKeyboard.__key_down__internal__[ALLEGRO_KEY_C / 32] = 1u << (ALLEGRO_KEY_C % 32);
        engine_tick();
    }

    std::string shown(int index) { return message_get(index)->text.substr(0, message_get(index)->pos); }

    unsigned at(int x, int y)
    {
        unsigned char r, g, b;
        al_unmap_rgb(al_get_pixel(target, x, y), &r, &g, &b);
        return r << 16 | g << 8 | b;
    }

    TempDir dir;
    ALLEGRO_BITMAP *target = nullptr;
    int oldFlags = 0;
};

class WindowTest : public MessageTest {};

} // namespace

// Four boxes added on one tick, one per reveal mode, type side by side.
TEST_F(MessageTest, EachModeRevealsOnItsTicksAndLogsOnlyWhatTypedOut)
{
    const char *word = "a  b\nc ";
    message_add("abc", 48, 16, 544, 128);
    message_add("", 48, 16, 544, 128);
    msgOptions.mode = 2;
    message_add("abc", 48, 16, 544, 128);
    msgOptions.mode = 1;
    message_add(word, 48, 16, 544, 128);
    for (int t = 0; t <= 19; t++) {
        testing::internal::CaptureStderr();
        tick();
        std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(shown(0), t < 8 ? "" : t < 11 ? "a" : t < 14 ? "ab" : "abc") << "T + " << t;
        EXPECT_EQ(message_get(1)->finished, t >= 8) << "T + " << t;
        EXPECT_EQ(shown(2), t < 8 ? "" : "abc") << "T + " << t;
        int words = t < 8 ? 0 : t < 11 ? 1 : t < 14 ? 4 : t < 17 ? 6 : 7;
        EXPECT_EQ(shown(3), std::string(word, words)) << "T + " << t;
        EXPECT_EQ(log, t == 8 ? "MESSAGE: \n" : t == 14 ? "MESSAGE: abc\n"
                     : t == 17 ? "MESSAGE: a  b\nc \n" : "") << "T + " << t;
    }
    // Complete boxes close on the first Ok (off the front box's step tick,
    // on which it would hold the others back).
    tick();
    tick(true);
    for (int i = 0; i < 4; i++)
        EXPECT_FALSE(message_get(i)->open) << i;
}

TEST_F(MessageTest, OkIsIgnoredWhileOpeningThenCompletesThenClosesAfterTheDelay)
{
    const int expectedWait[3] = {24, 26, 25};
    for (int offset = 0; offset < 3; offset++) {
        message_add("ab", 48, 16, 544, 128);
        testing::internal::CaptureStderr();
        for (int t = 0; t <= 13 + offset; t++) {
            tick(t == 3 || t == 9);
            if (t == 8 || t == 9)
                EXPECT_EQ(shown(0), t == 8 ? "a" : "ab");
        }
        // Completed by the key, not typed out: no line.
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        ASSERT_TRUE(message_get(0)->open);

        tick(true); // T + 14 is a step tick
        int wait = 0;
        for (; message_showing() && wait < 40; wait++)
            tick();
        EXPECT_EQ(wait, expectedWait[offset]) << "closed " << offset << " ticks after a step";
    }
}

// An Ok pressed on the tick that freezes the screen stays "pressed" through
// the frozen ticks; a box queued meanwhile must not take it.
TEST_F(MessageTest, OkHeldOverFromBeforeAFreezeNeitherCompletesNorCloses)
{
    tick(true);
    _engine_freeze = true;
    message_add("abc", 48, 16, 544, 128);
    testing::internal::CaptureStderr();
    for (int t = 0; t < 30; t++)
        tick(true);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "MESSAGE: abc\n");
    EXPECT_TRUE(input_keyState(KEY_OK, KEYSTATE_PRESSED));
    EXPECT_TRUE(message_get(0)->open);

    _engine_freeze = false;
    tick(true);
    EXPECT_TRUE(message_get(0)->open);
    tick();
    tick(true);
    EXPECT_FALSE(message_get(0)->open);
}

TEST_F(MessageTest, AClosingBoxHoldsBackTheBoxesBehindItUntilItIsRemoved)
{
    message_add("abc", 48, 16, 200, 40);
    message_add("abc", 348, 16, 200, 40);
    for (int t = 0; t <= 9; t++) {
        tick(t == 9);
        EXPECT_EQ(shown(0), shown(1)) << "T + " << t;
    }
    EXPECT_EQ(shown(1), "abc");

    message_close(0);
    int heldBack = 0;
    for (int t = 0; messageBox.size() == 2 && t < 60; t++) {
        int delay = messageBox[0].closeDelay, behindTimer = messageBox[1].stepTimer;
        al_clear_to_color(colourOf(PAPER));
        tick();
        bool frontStepped = messageBox.size() == 2 && messageBox[0].closeDelay != delay;
        heldBack += frontStepped;
        // The box behind is updated (its timer moves) and drawn, or neither.
        EXPECT_EQ(messageBox.back().stepTimer == behindTimer, frontStepped) << t;
        EXPECT_EQ(at(448, 36), frontStepped ? PAPER : BODY) << t;
    }
    EXPECT_EQ(heldBack, 8);
    EXPECT_EQ(messageBox.size(), 1u);
}

TEST_F(MessageTest, TextIsWhiteWithOutlineAndShadowAlsoWithoutAWindow)
{
    std::string font = std::string(VEMRA_SOURCE_DIR) + "/game/gfx/fonts/DejaVuSans.ttf";
    ASSERT_NE(system_fontNormal = al_load_ttf_font(font.c_str(), 24, 0), nullptr);
    while (window_create("", 1, 0, 0, 1, 1) >= 0) {
    }
    msgOptions.mode = 2;
    message_add("\xe2\x96\x88", 20, 10, 200, 60); // a full block
    EXPECT_EQ(message_get(0)->windowSlot, -1);
    for (int t = 0; t <= 8; t++)
        tick();

    // Down the block's middle column: outline, white, outline, shadow.
    int top = -1, bottom = -1;
    for (int y = 0; y < 80; y++) {
        if (at(30, y) == WHITE) {
            bottom = y;
            top = top < 0 ? y : top;
        }
    }
    ASSERT_GT(bottom, top + 10);
    EXPECT_LT(std::min(at(30, top - 1), at(30, top - 2)), 0x282828u);
    EXPECT_EQ(at(30, top - 4), PAPER);
    EXPECT_LT(at(30, bottom + 1), 0x202020u);
    EXPECT_NEAR(at(30, bottom + 2) >> 16, 64, 12);
    EXPECT_EQ(at(30, bottom + 4), PAPER);

    // A character shows once all its bytes do; without a font, no text.
    auto drawnAfter = [&](int pos) {
        message_get(0)->pos = pos;
        al_clear_to_color(colourOf(PAPER));
        message_draw(0);
        return at(30, (top + bottom) / 2);
    };
    EXPECT_EQ(drawnAfter(2), PAPER);
    EXPECT_EQ(drawnAfter(3), WHITE);
    al_destroy_font(system_fontNormal);
    system_fontNormal = nullptr;
    EXPECT_EQ(drawnAfter(3), PAPER);
}

// Every text that fits the target draws as the six passes of Allegro's own
// multi-line drawing draw it; bytes that are not UTF-8 show as '?'; a text of
// megabytes draws the screenful it starts with, and a line of characters of
// no width is cut at its bound.
TEST_F(MessageTest, TextOfAnySizeAndBytesDrawsAsAllegroDrawsItsScreenful)
{
    std::string font = std::string(VEMRA_SOURCE_DIR) + "/game/gfx/fonts/DejaVuSans.ttf";
    ASSERT_NE(system_fontNormal = al_load_ttf_font(font.c_str(), 24, 0), nullptr);
    msgOptions.skin = ""; // a window without images: only the text draws
    struct Pass {
        int dx, dy;
        float grey, alpha;
    };
    const Pass passes[] = {{2, 2, 0, 0.5f}, {-1, -1, 0, 1}, {-1, 1, 0, 1}, {1, -1, 0, 1}, {1, 1, 0, 1}, {0, 0, 1, 1}};
    auto reference = [&](const std::string &text, int w) {
        for (const Pass &p : passes)
            al_draw_multiline_text(system_fontNormal, al_map_rgba_f(p.grey, p.grey, p.grey, p.alpha), 48 + p.dx,
                                   16 + p.dy, w, 0, 0, text.c_str());
    };
    auto picture = [&](const std::function<void()> &draw) {
        al_clear_to_color(colourOf(PAPER));
        draw();
        std::vector<unsigned> pixels;
        for (int y = 0; y < al_get_bitmap_height(target); y++)
            for (int x = 0; x < al_get_bitmap_width(target); x++)
                pixels.push_back(at(x, y));
        return pixels;
    };
    // The box showing the first pos bytes of text draws what the reference
    // draws of `expected`, some of it white.
    auto samePicture = [&](const std::string &text, size_t pos, int w, const std::string &expected) {
        messageBox.clear();
        message_add(text, 48, 16, w, 128);
        message_get(0)->pos = static_cast<int>(std::min(pos, text.size()));
        std::vector<unsigned> box = picture([] { message_draw(0); });
        std::vector<unsigned> drawn = picture([&] { reference(expected, w); });
        EXPECT_EQ(message_get(0)->text, text);
        return box == drawn && std::count(drawn.begin(), drawn.end(), WHITE) > 0;
    };
    const std::string speech = "The elder looks up from his book. \"Ah, a traveller! Few come this way since the "
                               "bridge fell. Sit, sit, the kettle is on.\"";
    const size_t whole = std::string::npos;

    // Wrapped words, explicit, empty and blank lines, a tab, typing under way
    // (the word being typed moves down when it no longer fits), a word wider
    // than the line, and more lines than fit above the bottom edge.
    EXPECT_TRUE(samePicture(speech, whole, 300, speech));
    EXPECT_TRUE(samePicture(speech, 52, 300, speech.substr(0, 52)));
    EXPECT_TRUE(samePicture(" First\n\n  indented\tafter a tab  \ntrailing \n", whole, 544,
                            " First\n\n  indented\tafter a tab  \ntrailing \n"));
    const std::string wide = std::string(40, 'W') + " then words\n" + std::string(30, 'W') + "\n\nand more";
    EXPECT_TRUE(samePicture(wide, whole, 300, wide));
    EXPECT_TRUE(samePicture(speech + " " + speech + "\n" + speech, whole, 544, speech + " " + speech + "\n" + speech));
    // A character shows once all its bytes do.
    EXPECT_TRUE(samePicture("Caf\xC3\xA9 cr\xC3\xA8me", 4, 544, "Caf"));
    EXPECT_TRUE(samePicture("Caf\xC3\xA9 cr\xC3\xA8me", 5, 544, "Caf\xC3\xA9"));

    // Latin-1, a NUL, a sequence cut short by the text's end (which shows as
    // soon as it is typed), an overlong form and a surrogate: a '?' a byte.
    EXPECT_TRUE(samePicture("Caf\xE9 au lait\nnext line", whole, 544, "Caf? au lait\nnext line"));
    EXPECT_TRUE(samePicture(std::string("before\0after", 12), whole, 544, "before?after"));
    EXPECT_TRUE(samePicture("ab\xE2\x96", 3, 544, "ab?"));
    EXPECT_TRUE(samePicture("a\xC0\xAF b\xED\xA0\x80", whole, 544, "a?? b???"));

    // Megabytes: a word of 8 MB (Allegro's own drawing crashed on longer
    // ones) cut short where it leaves the screen, and 10 MB of words.
    std::string word(8 << 20, 'm');
    EXPECT_TRUE(samePicture("Begin " + word + " end\nsecond line", whole, 544,
                            "Begin " + std::string(200, 'm') + " end\nsecond line"));
    EXPECT_TRUE(samePicture("Begin " + word, 106, 544, "Begin " + std::string(100, 'm')));
    EXPECT_TRUE(samePicture("Begin " + word + " end\nsecond line", word.size() + 10, 544,
                            "Begin " + std::string(200, 'm') + " end"));
    std::string words;
    for (int i = 0; words.size() < (10u << 20); i++)
        words += speech.substr(i % 7, 20 + i % 13) + (i % 50 == 49 ? "\n" : " ");
    EXPECT_TRUE(samePicture(words, whole, 544, words.substr(0, 4000)));

    // A line holds at most half a byte for each pixel of the box's width (272
    // bytes here): paragraphs that end just before, at and after it draw as
    // before. Characters of no width (U+200B) fill a line past it; such a line
    // ends at its last blank within the bound, or at the bound inside a word,
    // and the next line starts after it.
    auto prose = [](size_t bytes) { // Cyrillic, two bytes a letter, ending in dots
        std::string text;
        while (text.size() + 60 < bytes)
            text += "\xD0\xA1\xD1\x82\xD0\xB0\xD1\x80\xD0\xB5\xD0\xB9\xD1\x88\xD0\xB8\xD0\xBD\xD0\xB0 "
                    "\xD0\xBF\xD0\xBE\xD0\xB4\xD0\xBD\xD0\xB8\xD0\xBC\xD0\xB0\xD0\xB5\xD1\x82 ";
        return text + std::string(bytes - text.size(), '.');
    };
    for (size_t bytes : {271, 272, 273}) {
        std::string text = prose(bytes) + "\n\n" + prose(bytes) + "\n" + speech;
        EXPECT_TRUE(samePicture(text, whole, 544, text)) << bytes;
    }
    auto invisible = [](const char *letters, int count) {
        std::string word = letters;
        for (int i = 0; i < count; i++)
            word += "\xE2\x80\x8B";
        return word;
    };
    const std::string ab = invisible("ab", 40), xy = invisible("xy", 90); // 122 and 272 bytes
    std::string spaced, pairs;
    for (int i = 0; i < 3; i++) {
        spaced += ab + " " + ab + " ";
        pairs += "ab ab\n";
    }
    EXPECT_TRUE(samePicture(spaced + "\n" + speech, whole, 544, pairs + speech));
    EXPECT_TRUE(samePicture(xy + xy + xy + "\nend", whole, 544, "xy\nxy\nxy\nend"));
    EXPECT_TRUE(samePicture(xy + xy + xy, 300, 544, "xy\nxy"));
    // A line of exactly the bound, its trailing blanks counted as Allegro
    // counts them (all but the one it breaks at), is whole: here one that a
    // space or a tab and a word too wide to join it follow, or a blank and a
    // newline. Blanks that take a line past the box's width (the ninth here)
    // start the next line.
    const std::string a = invisible("A", 45), bbb = invisible("BBB", 44), b = invisible("B", 44); // 136, 135, 133
    const std::string wideNext = " " + std::string(30, 'W') + " then words\n", boundWord(272, 'W');
    const std::pair<const char *, std::string> exact[] = {
        {"two words", a + " " + bbb + wideNext},
        {"two words, tab", a + " " + bbb + "\t" + wideNext.substr(1)},
        {"blanks", a + " " + b + "  " + wideNext},
        {"one word", boundWord + wideNext},
        {"one word, newline", boundWord + " \nthen words\n"},
        {"too wide", invisible("WWWWWWWWWWWWWWWWWWWW", 81) + "         " + wideNext}};
    for (const auto &[name, text] : exact)
        EXPECT_TRUE(samePicture(text + speech, whole, 544, text + speech)) << name;
    // A line that fits, of exactly the bound, whose last blank ends the text or
    // its line, counts that blank: one byte over, it ends at its last space,
    // even where that blank would take it past the box's width.
    const std::string first = invisible("l", 65), rest(75, 'l'); // 196 and 75 bytes, 7 and 525 pixels
    ASSERT_EQ(al_get_text_width(system_fontNormal, (first + " " + rest).c_str()), 540);
    EXPECT_TRUE(samePicture(first + " " + rest + " \n" + speech, whole, 544, first + "\n" + rest + " \n" + speech));
    EXPECT_TRUE(samePicture(first + " " + rest + " ", whole, 544, first + "\n" + rest + " "));

    // show_text refuses a text longer than a box can count, here lowered.
    lua_State *state = luaL_newstate();
    parse_registerFunctions(state);
    size_t limit = parse_maxTextBytes;
    parse_maxTextBytes = 10;
    auto error = [&](const char *call) {
        std::string message = luaL_dostring(state, call) == LUA_OK ? "" : lua_tostring(state, -1);
        lua_settop(state, 0);
        return message;
    };
    EXPECT_EQ(error("command.show_text('0123456789') command.show_text(1234567890)"), "");
    for (const char *call : {"command.show_text('01234567890')", "command.show_text(12345678901)"})
        EXPECT_NE(error(call).find("bad argument #1 to 'show_text' (text longer than 10 bytes)"), std::string::npos)
            << call;
    parse_maxTextBytes = limit;
    lua_close(state);
}

TEST_F(WindowTest, PoolGivesTheFirstFreeSlotAndDisposeFreesTheImages)
{
    EXPECT_EQ(window_create("wskin", 1, 0, 0, 10, 10), 0);
    EXPECT_EQ(window_create("wskin", 2, 0, 0, 10, 10), 1);
    const Window &first = windowArray[0], &second = windowArray[1];
    EXPECT_TRUE(first.center && first.tl && first.br && first.aux && second.center && second.aux);
    EXPECT_FALSE(second.tl || second.br);
    window_dispose(0);
    EXPECT_FALSE(first.center || first.tl || first.br || first.aux);
    EXPECT_EQ(window_create("wskin", 3, 0, 0, 10, 10), 0);

    // Empty skin: no files. A missing skin: one line per file, parts absent.
    testing::internal::CaptureStderr();
    EXPECT_EQ(window_create("", 1, 0, 0, 10, 10), 2);
    EXPECT_EQ(window_create("none", 0, 0, 0, 10, 10), 3);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed to load window skin image gfx/system/none_center.png.\n"
              "Failed to load window skin image gfx/system/none_aux.png.\n");
    window_draw(2);
    window_draw(3);
    EXPECT_EQ(at(5, 5), PAPER);

    while (window_create("", 1, 0, 0, 10, 10) >= 0) {
    }
    EXPECT_TRUE(windowArray[WINDOW_SLOTS - 1].inUse);
    EXPECT_EQ(window_create("wskin", 1, 0, 0, 10, 10), -1);
    // Stray slots, the full pool's -1 among them, are ignored.
    window_updatePos(-1, 1, 2, 3, 4);
    window_draw(-1);
    window_dispose(-1);
    window_dispose(WINDOW_SLOTS);
    window_dispose(77);
    EXPECT_EQ(window_create("", 1, 0, 0, 10, 10), 77);
}

TEST_F(WindowTest, EachTypeCoversItsArea)
{
    // Stretched centre, frame just outside the rectangle.
    window_draw(window_create("wskin", 1, 48, 16, 544, 128));
    EXPECT_EQ(at(320, 80), BODY);
    EXPECT_EQ(at(60, 20), MARK);
    const int frameAt[8][2] = {{40, 8}, {320, 8}, {600, 8}, {40, 80},
                               {600, 80}, {40, 152}, {320, 152}, {600, 152}};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(at(frameAt[i][0], frameAt[i][1]), frame(i)) << FRAME[i];
    for (int xy : {30 << 16 | 80, 610 << 16 | 80, 320 << 16 | 162})
        EXPECT_EQ(at(xy >> 16, xy & 0xFFFF), PAPER);

    // Tiled: whole tiles from the corner, cut ones on the right and bottom.
    al_clear_to_color(colourOf(PAPER));
    int slot = window_create("wskin", 3, 0, 0, 1, 1);
    window_updatePos(slot, 100, 50, 100, 50);
    window_draw(slot);
    for (int px = 0; px <= 96; px += 32) {
        for (int py = 0; py <= 32; py += 32) {
            EXPECT_EQ(at(102 + px, 52 + py), MARK) << px << ", " << py;
            EXPECT_EQ(at(std::min(120 + px, 199), 62 + py), BODY) << px << ", " << py;
        }
    }
    EXPECT_EQ(at(202, 60), frame(4));
    EXPECT_EQ(at(150, 102), frame(6));

    // Frameless: the rectangle grown by 16 pixels, tiled (2) or stretched (0).
    for (int type : {2, 0}) {
        al_clear_to_color(colourOf(PAPER));
        window_draw(window_create("wskin", type, 100, 50, 100, 50));
        EXPECT_EQ(at(86, 36), MARK) << type;
        EXPECT_EQ(at(214, 100), type == 2 ? MARK : BODY) << type;
        for (int xy : {83 << 16 | 75, 217 << 16 | 75, 150 << 16 | 31, 150 << 16 | 118})
            EXPECT_EQ(at(xy >> 16, xy & 0xFFFF), PAPER) << type;
    }
}
