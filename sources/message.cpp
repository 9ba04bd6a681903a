#include "message.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

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

// The length of the UTF-8 character that starts at p, `left` bytes before the
// text's end, or 0 when the bytes there are not one. A NUL counts as none:
// Allegro's text drawing would stop at it.
static size_t message_charLength(const unsigned char *p, size_t left)
{
    unsigned char lead = p[0];
    if (lead >= 0x01 && lead <= 0x7F)
        return 1;
    size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || left < length)
        return 0;
    // The second byte's range also rules out overlong forms, surrogates and
    // code points past U+10FFFF.
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (p[1] < low || p[1] > high)
        return 0;
    for (size_t i = 2; i < length; i++) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

// Allegro stops drawing a line at the first byte that is not UTF-8 (a script
// saved in a single-byte code page) and the whole text at a NUL; each such
// byte shows as '?' instead. Empty when the text has none.
static std::string message_drawable(const std::string &text)
{
    std::string drawn;
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text.data());
    for (size_t i = 0; i < text.size();) {
        size_t length = message_charLength(bytes + i, text.size() - i);
        if (length) {
            i += length;
            continue;
        }
        if (drawn.empty())
            drawn = text;
        drawn[i++] = '?';
    }
    return drawn;
}

int message_add(std::string text, int x, int y, int w, int h)
{
    Message m;
    m.text = std::move(text);
    m.drawnText = message_drawable(m.text);
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

// pos is an int: a longer text shows its first INT_MAX bytes.
static int message_length(const Message &m)
{
    return static_cast<int>(std::min(m.text.size(), static_cast<size_t>(INT_MAX)));
}

static void message_complete(Message &m)
{
    m.pos = message_length(m);
    m.finished = true;
}

static bool message_isBreak(char c)
{
    return c == ' ' || c == '\n';
}

// The end of the next word. The spaces and newlines at which the previous
// step stopped are passed first, so every step moves on; they show with the
// word after them.
static int message_nextWord(const std::string &text, int pos, int length)
{
    int p = std::max(pos, 0);
    while (p < length && message_isBreak(text[p]))
        p++;
    while (p < length && !message_isBreak(text[p]))
        p++;
    return p;
}

static void message_step(Message &m)
{
    m.stepTimer = m.speed;
    if (m.finished)
        return;
    int length = message_length(m);
    if (m.mode == 0)
        m.pos = std::min(m.pos, length - 1) + 1;
    else
        m.pos = message_nextWord(m.text, m.pos, length);
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

// --- laying the text out ----------------------------------------------------
//
// The text wraps exactly as Allegro's multi-line drawing wraps it, but only
// the lines that can reach the target are laid out and drawn, once for all
// six passes: a text of megabytes costs what a screenful costs.

// One laid-out line: its bytes in the drawn text, how many of them are drawn,
// and its number from the top (its y is that many line heights down).
struct MessageLine {
    size_t start;
    size_t length;
    int number;
};

// What a box's text is laid out against.
struct MessageFrame {
    const ALLEGRO_FONT *font;
    const char *text;
    size_t size;       // bytes shown
    float width;       // the wrap width
    int lines;         // lines whose top can still be above the bottom edge
    float reach;       // a line drawn this wide has reached past the right edge
    // No line of a text that fits the screen holds this many bytes (it would
    // need characters narrower than an eighth of a pixel). A longer one is
    // treated as too wide, so that no line is measured beyond it.
    size_t maxBytes;
};

// Reused from draw to draw: drawing allocates nothing once it has grown.
static std::vector<MessageLine> message_lines;

static int message_width(const MessageFrame &f, size_t start, size_t end)
{
    ALLEGRO_USTR_INFO info;
    return al_get_ustr_width(f.font, al_ref_buffer(&info, f.text + start, end - start));
}

static bool message_tooWide(const MessageFrame &f, size_t start, size_t end)
{
    return end - start > f.maxBytes || message_width(f, start, end) > f.width;
}

// The first space, tab or newline at or after pos, else the end.
static size_t message_wordEnd(const MessageFrame &f, size_t pos)
{
    size_t end = f.size;
    for (char c : {' ', '\t', '\n'}) {
        const void *found = memchr(f.text + pos, c, end - pos);
        if (found)
            end = static_cast<const char *>(found) - f.text;
    }
    return end;
}

static bool message_paragraphEnds(const MessageFrame &f, size_t pos)
{
    return pos == f.size || f.text[pos] == '\n';
}

// The line that starts at *pos inside a paragraph: words are added while the
// line, measured whole, stays within the width; a first word too wide makes a
// line of its own. The space or tab at a break is dropped, and a paragraph's
// last line keeps its trailing blanks. Returns the line's end and moves *pos
// to the next line's start, or to the paragraph's end after its last line.
static size_t message_wrapLine(const MessageFrame &f, size_t *pos)
{
    size_t start = *pos, end = start, kept = start;
    bool first = true;
    for (;;) {
        end = message_wordEnd(f, end);
        bool last = message_paragraphEnds(f, end);
        if (message_tooWide(f, start, end)) {
            if (!first)
                end = kept;
            *pos = last && first ? end : end + 1;
            return end;
        }
        if (last || message_paragraphEnds(f, end + 1)) {
            *pos = last ? end : end + 1;
            return *pos;
        }
        first = false;
        kept = end++;
    }
}

static size_t message_charStart(const char *text, size_t pos)
{
    while (pos > 0 && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80)
        pos--;
    return pos;
}

// How much of a line to draw: all of it, unless it is a word too long for
// any line; then a part of it that already reaches past the right edge.
static size_t message_drawnLength(const MessageFrame &f, size_t start, size_t end)
{
    if (end - start <= f.maxBytes)
        return end - start;
    for (size_t part = 64;; part *= 2) {
        part = std::min(part, f.maxBytes);
        size_t cut = message_charStart(f.text, start + part) - start;
        if (part == f.maxBytes || message_width(f, start, start + cut) > f.reach)
            return cut;
    }
}

static void message_addLine(const MessageFrame &f, size_t start, size_t end, int number)
{
    message_lines.push_back(MessageLine{start, message_drawnLength(f, start, end), number});
}

// Paragraphs end at newlines; an empty one is an empty line, and a newline
// that ends the text starts none.
static void message_layout(const MessageFrame &f)
{
    message_lines.clear();
    size_t pos = 0;
    int number = 0;
    while (pos < f.size && number < f.lines) {
        if (f.text[pos] == '\n') {
            number++;
            pos++;
            continue;
        }
        while (!message_paragraphEnds(f, pos) && number < f.lines) {
            size_t start = pos;
            size_t end = message_wrapLine(f, &pos);
            message_addLine(f, start, end, number++);
        }
        if (pos < f.size && f.text[pos] == '\n')
            pos++;
    }
}

// The right and bottom edges of what drawing can still reach: the target's
// clipping rectangle, seen through the current transform.
static bool message_visibleEdges(float *right, float *bottom)
{
    int cx, cy, cw, ch;
    al_get_clipping_rectangle(&cx, &cy, &cw, &ch);
    ALLEGRO_TRANSFORM inverse;
    al_copy_transform(&inverse, al_get_current_transform());
    if (!al_check_inverse(&inverse, 1e-6f))
        return false;
    al_invert_transform(&inverse);
    *right = *bottom = -INFINITY;
    for (int corner = 0; corner < 4; corner++) {
        float px = corner & 1 ? cx + cw : cx, py = corner & 2 ? cy + ch : cy;
        al_transform_coordinates(&inverse, &px, &py);
        *right = std::max(*right, px);
        *bottom = std::max(*bottom, py);
    }
    return true;
}

// Sets up the frame for a box's shown text; false when none of it can show.
static bool message_frame(const Message &m, ALLEGRO_FONT *font, MessageFrame *f)
{
    float right, bottom;
    if (!message_visibleEdges(&right, &bottom))
        return false;
    // Passes draw up to a pixel left of and above the box's corner; glyphs may
    // rise above their line or lean out of it by up to a line's height.
    float step = std::max(al_get_font_line_height(font), 1);
    float margin = step + 2;
    double lines = std::floor((bottom + margin - (m.y - 1.0)) / step) + 1;
    f->reach = right + margin - (m.x - 1.0f);
    if (lines < 1 || !(f->reach > 0))
        return false;
    const std::string &text = m.drawnText.empty() ? m.text : m.drawnText;
    f->font = font;
    f->text = text.data();
    f->size = message_wholeBytes(text, std::max(m.pos, 0));
    f->width = m.w;
    f->lines = static_cast<int>(std::min(lines, static_cast<double>(INT_MAX)));
    f->maxBytes = static_cast<size_t>(std::min(8.0 * f->reach + 64, static_cast<double>(1 << 20)));
    return true;
}

void message_draw(int index)
{
    Message *m = message_get(index);
    if (!m)
        return;
    window_draw(m->windowSlot);
    ALLEGRO_FONT *font = getFont(0);
    MessageFrame frame;
    if (!font || !al_get_target_bitmap() || !message_frame(*m, font, &frame))
        return;
    message_layout(frame);
    float lineHeight = al_get_font_line_height(font);
    for (const TextPass &p : TEXT_PASSES) {
        ALLEGRO_COLOR colour = al_map_rgba_f(p.grey, p.grey, p.grey, p.alpha);
        float left = m->x + p.dx, top = m->y + p.dy;
        for (const MessageLine &line : message_lines) {
            ALLEGRO_USTR_INFO info;
            const ALLEGRO_USTR *part = al_ref_buffer(&info, frame.text + line.start, line.length);
            al_draw_ustr(font, colour, left, top + lineHeight * line.number, 0, part);
        }
    }
}

bool message_showing()
{
    return !messageBox.empty();
}
