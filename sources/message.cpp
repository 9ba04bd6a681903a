#include "message.h"

#include <algorithm>
#include <cstdio>

#include <allegro5/allegro_font.h>

#include "input.h"
#include "system.h"
#include "window.h"

MessageOptions msgOptions;
std::vector<Message> messageBox;

// The text is drawn six times: a soft shadow, a black outline at the four
// diagonal neighbours, then the white text itself.
struct TextPass {
    int dx, dy;
    float grey, alpha;
};
static const TextPass TEXT_PASSES[] = {
    {2, 2, 0, 0.5f}, {-1, -1, 0, 1}, {-1, 1, 0, 1}, {1, -1, 0, 1}, {1, 1, 0, 1}, {0, 0, 1, 1},
};

void message_setOptions()
{
    msgOptions.mode = 0;
    msgOptions.windowType = 1;
    msgOptions.skin = "wskin";
    msgOptions.speed = 2;
    msgOptions.openDelay = 8;
    msgOptions.closeDelay = 8;
    msgOptions.flag = false;
}

int message_add(std::string text, int x, int y, int w, int h)
{
    Message m;
    m.text = std::move(text);
    m.skin = msgOptions.skin;
    m.x = x;
    m.y = y;
    m.w = w;
    m.h = h;
    m.mode = msgOptions.mode;
    m.speed = msgOptions.speed;
    m.openDelay = msgOptions.openDelay;
    m.closeDelay = msgOptions.closeDelay;
    m.flag = msgOptions.flag;
    // Without a free window slot the box still shows its text, bare.
    m.windowSlot = window_create(m.skin, msgOptions.windowType, x, y, w, h);
    messageBox.push_back(std::move(m));
    return 1;
}

Message *message_get(int index)
{
    if (index < 0 || index >= static_cast<int>(messageBox.size()))
        return nullptr;
    return &messageBox[index];
}

void message_close(int index)
{
    if (Message *m = message_get(index))
        m->open = false;
}

// Key flags stand still while the screen is frozen: an Ok pressed on the tick
// that froze it would read as pressed on every frozen tick after it, and
// would close a box the player has not seen yet.
static bool message_okPressed()
{
    return !engine_isFrozen() && input_keyState(KEY_OK, KEYSTATE_PRESSED);
}

static void message_complete(Message &m)
{
    m.pos = static_cast<int>(m.text.size());
    m.finished = true;
}

static bool message_isBreak(char c)
{
    return c == ' ' || c == '\n';
}

// The end of the next word. The spaces and newlines at which the previous
// step stopped are passed first, so every step moves on; they show with the
// word after them.
static int message_nextWord(const std::string &text, int pos)
{
    size_t p = pos;
    while (p < text.size() && message_isBreak(text[p]))
        p++;
    while (p < text.size() && !message_isBreak(text[p]))
        p++;
    return static_cast<int>(p);
}

static void message_step(Message &m)
{
    m.stepTimer = m.speed;
    if (m.finished)
        return;
    int length = static_cast<int>(m.text.size());
    if (m.mode == 0)
        m.pos = std::min(m.pos + 1, length);
    else
        m.pos = message_nextWord(m.text, m.pos);
    // Logged only when the text typed out to its end by itself.
    if (m.pos >= length) {
        message_complete(m);
        fprintf(stderr, "MESSAGE: %s\n", m.text.c_str());
    }
}

bool message_update(int index)
{
    Message *m = message_get(index);
    if (!m)
        return true;
    window_updatePos(m->windowSlot, m->x, m->y, m->w, m->h);
    if (m->openDelay > 0) {
        m->openDelay--;
        return true;
    }
    if (m->mode == 2)
        message_complete(*m);
    if (message_okPressed()) {
        if (m->finished)
            m->open = false;
        else
            message_complete(*m);
    }
    if (m->stepTimer > 0) {
        m->stepTimer--;
        return true;
    }
    message_step(*m);
    return m->open;
}

void message_updateAll()
{
    size_t i = 0;
    while (i < messageBox.size()) {
        if (message_update(i)) {
            message_draw(i++);
            continue;
        }
        // A closed box on its step tick: it holds the boxes behind it back
        // while it counts down, and then leaves the queue.
        Message &m = messageBox[i];
        if (m.closeDelay > 0) {
            m.closeDelay--;
            message_draw(i);
            return;
        }
        window_dispose(m.windowSlot);
        messageBox.erase(messageBox.begin() + i);
    }
}

// How many of the first pos bytes to draw: a character whose last bytes are
// still hidden is left out until it is whole.
static size_t message_wholeBytes(const std::string &text, size_t pos)
{
    pos = std::min(pos, text.size());
    for (size_t back = 1; back <= 4 && back <= pos; back++) {
        unsigned char c = text[pos - back];
        if ((c & 0xC0) == 0x80)
            continue;
        size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? pos - back : pos;
    }
    return pos;
}

void message_draw(int index)
{
    Message *m = message_get(index);
    if (!m)
        return;
    window_draw(m->windowSlot);
    ALLEGRO_FONT *font = getFont(0);
    if (!font || !al_get_target_bitmap())
        return;
    std::string shown = m->text.substr(0, message_wholeBytes(m->text, m->pos));
    for (const TextPass &p : TEXT_PASSES) {
        ALLEGRO_COLOR colour = al_map_rgba_f(p.grey, p.grey, p.grey, p.alpha);
        al_draw_multiline_text(font, colour, m->x + p.dx, m->y + p.dy, m->w, 0, 0, shown.c_str());
    }
}

bool message_showing()
{
    return !messageBox.empty();
}
