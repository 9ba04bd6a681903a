#include "message.h"

#include <algorithm>
#include <climits>
#include <cmath>
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

// Allegro stops drawing a line at the first byte that is not UTF-8 (a script
// saved in a single-byte code page) and the whole text at a NUL; each such
// byte shows as '?' instead, so that the bytes still line up with pos. Empty
// when the text has none.
static std::string message_drawable(const std::string &text)
{
    std::string drawn;
    for (size_t i = 0; i < text.size();) {
        size_t length = text[i] ? engine_utf8Length(text, i) : 0;
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
    // Room in the queue first: memory that runs out there must not leave a
    // window slot taken by a box that never shows.
    if (messageBox.size() == messageBox.capacity())
        messageBox.reserve(std::max<size_t>(4, 2 * messageBox.size()));
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

// --- drawing the text -------------------------------------------------------
//
// Allegro lays a text out from its start on every call, and measures each
// word whole before it places it. A box lays out only the lines that can
// reach the target, once for all six passes. A word too long for any line is
// cut, once per text, where it is already wider than both the line and the
// target: it still takes a line of its own and still runs past the right
// edge, so the picture stays the same while the work stays a screenful's.
//
// Allegro also breaks lines over all the text it is given, and measures a
// line from its start each time it adds a word: characters of no width
// (U+200B, a letter under thousands of combining marks) would put any number
// of bytes on one line. So it is handed the text a part at a time, each part
// from a line's start and at most a line's bound long. Only the last line of
// a part can run to the part's end; it is laid out again as the first line of
// the next part, unless it is that part's first line too: then it is whole
// when Allegro would end it there, at the blank after it, and otherwise over
// the bound, ending at its last space or tab, else at the bound.

// Words up to this many bytes stay whole: Allegro measures them quickly.
static const size_t MESSAGE_SHORT_WORD = 512;
// A cut keeps at most this many bytes, also of a word whose characters are so
// narrow that no shorter part of it is wide enough.
static const size_t MESSAGE_MOST_KEPT = 4096;
// A line holds at most half a byte for each pixel of the box's width, and at
// least this many bytes: more than a line of letters, however narrow or
// accented, needs, and few enough that a screenful of lines at the bound
// draws about as fast as one of words.
static const size_t MESSAGE_LEAST_LINE_BYTES = 256;

// One laid-out line: where its bytes start in the laid-out text, how many
// there are, and its number from the top.
struct MessageLine {
    size_t start;
    size_t length;
    int number;
};

// Reused from draw to draw, so that drawing allocates nothing once grown.
static std::vector<MessageLine> message_lines;

// One part of the laid-out text as Allegro lays it out: its bytes from `from`
// to `to`, whose first line is line `first` from the box's top.
struct MessageLayout {
    const char *text;
    size_t from;
    size_t to;
    size_t bound;    // bytes of a line at most
    size_t most;     // lines kept at most
    size_t first;
    size_t next;     // the number of the line after the last one laid out
    bool stopped;    // no more lines are wanted
};

static bool message_isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

static size_t message_charStart(const std::string &text, size_t pos)
{
    while (pos > 0 && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80)
        pos--;
    return pos;
}

static const std::string &message_source(const Message &m)
{
    return m.drawnText.empty() ? m.text : m.drawnText;
}

static const std::string &message_laidOutText(const Message &m)
{
    return m.cuts.empty() ? message_source(m) : m.laidOut;
}

// How many bytes to keep of the word from start to end: the first part, in
// doubling steps, that is wider than `width`; the whole word when none is.
static size_t message_keptBytes(const ALLEGRO_FONT *font, const std::string &text, size_t start, size_t end,
                                float width)
{
    for (size_t part = 64; part < end - start; part *= 2) {
        size_t cut = message_charStart(text, start + std::min(part, MESSAGE_MOST_KEPT)) - start;
        ALLEGRO_USTR_INFO info;
        if (part >= MESSAGE_MOST_KEPT || al_get_ustr_width(font, al_ref_buffer(&info, &text[start], cut)) > width)
            return cut;
    }
    return end - start;
}

// The laid-out text for lines that can be seen `width` pixels wide: each long
// word cut as message_keptBytes says.
static void message_cutWords(Message &m, const ALLEGRO_FONT *font, float width)
{
    const std::string &text = message_source(m);
    m.laidOut.clear();
    m.cuts.clear();
    m.laidOutWidth = width;
    size_t copied = 0, removed = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = start;
        while (end < text.size() && !message_isBlank(text[end]))
            end++;
        size_t kept = end - start > MESSAGE_SHORT_WORD ? start + message_keptBytes(font, text, start, end, width) : end;
        if (kept < end) {
            m.laidOut.append(text, copied, kept - copied);
            removed += end - kept;
            m.cuts.push_back(MessageCut{kept, end, removed});
            copied = end;
        }
        start = end + 1;
    }
    if (!m.cuts.empty())
        m.laidOut.append(text, copied, std::string::npos);
}

// The bytes of the laid-out text that stand for the first n of the text.
static size_t message_laidOutBytes(const Message &m, size_t n)
{
    auto after = std::partition_point(m.cuts.begin(), m.cuts.end(), [n](const MessageCut &c) { return c.from < n; });
    if (after == m.cuts.begin())
        return n;
    const MessageCut &cut = after[-1];
    return n - cut.removed + (cut.to - std::min(n, cut.to));
}

// How many lines from the box's top can reach the target, and how wide a line
// can be seen from the box's left edge: the clipping rectangle, grown by a
// line's height for the outline, the shadow and glyphs that reach out of
// their line. False when no line can be seen.
static bool message_reach(const Message &m, float lineHeight, size_t *lines, float *width)
{
    int cx, cy, cw, ch;
    al_get_clipping_rectangle(&cx, &cy, &cw, &ch);
    double margin = lineHeight + 2.0;
    double below = std::floor((cy + ch + margin - m.y) / lineHeight) + 1;
    double across = cx + cw + margin - m.x;
    if (below < 1 || across <= 0)
        return false;
    *lines = static_cast<size_t>(std::min(below, 65536.0));
    *width = static_cast<float>(std::max<double>(m.w, across));
    return true;
}

// Called by Allegro for each line of a part in turn; stops below the last
// line kept.
static bool message_keepLine(int number, const ALLEGRO_USTR *line, void *extra)
{
    MessageLayout *layout = static_cast<MessageLayout *>(extra);
    size_t at = layout->first + static_cast<size_t>(number);
    layout->stopped = at >= layout->most;
    if (layout->stopped)
        return false;
    layout->next = at + 1;
    // An empty line draws nothing (and need not refer to the text); every
    // other line refers to the bytes it was cut from.
    size_t length = al_ustr_size(line);
    if (length == 0)
        return true;
    size_t start = al_cstr(line) - layout->text;
    layout->stopped = start < layout->from || start > layout->to || length > layout->to - start;
    if (layout->stopped)
        return false;
    message_lines.push_back(MessageLine{start, length, static_cast<int>(at)});
    return true;
}

static size_t message_lineBound(const Message &m)
{
    return std::max(MESSAGE_LEAST_LINE_BYTES, static_cast<size_t>(std::max(m.w, 0)) / 2);
}

// A part ends at the bound, at a character's start.
static size_t message_partEnd(const std::string &text, const MessageLayout &layout)
{
    size_t end = message_charStart(text, layout.from + layout.bound);
    return end > layout.from ? end : layout.from + layout.bound;
}

// Whether Allegro, given the whole text, ends the part's one line at the
// part's end, where a space or tab follows it: a line of exactly the bound,
// its trailing blanks counted as Allegro counts them (all but the one it
// breaks at). It does when the line is a single word too wide for the box,
// or when the line fits and is too wide with that blank and the word after
// it. A line with blanks that is too wide ends at its last one instead, and
// a blank that ends the text or its line stays on the line.
static bool message_endsAtBound(const ALLEGRO_FONT *font, float width, const std::string &text,
                                const MessageLayout &layout, size_t bytes)
{
    if (text[layout.to] != ' ' && text[layout.to] != '\t')
        return false;
    ALLEGRO_USTR_INFO info;
    const char *line = text.data() + layout.from, *end = text.data() + layout.to;
    if (al_get_ustr_width(font, al_ref_buffer(&info, line, end - line)) > width)
        return std::find_if(line, end, message_isBlank) == end;
    size_t next = layout.to + 1;
    if (next == bytes || text[next] == '\n')
        return false;
    while (next < bytes && !message_isBlank(text[next]))
        next++;
    return al_get_ustr_width(font, al_ref_buffer(&info, line, next - layout.from)) > width;
}

// Where the part after the one just laid out starts, and its first line's
// number. The last line of a part that ends with a newline, or just before
// one, is whole. Otherwise that line runs to the part's end: it is laid out
// again with the next part or, as the part's first line, is whole if Allegro
// ends it there, else over the bound.
static size_t message_nextPart(const ALLEGRO_FONT *font, const Message &m, const std::string &text,
                               MessageLayout &layout, size_t bytes, size_t laidOut)
{
    layout.first = layout.next;
    if (text[layout.to - 1] == '\n')
        return layout.to;
    if (text[layout.to] == '\n')
        return layout.to + 1;
    if (message_lines.size() == laidOut)
        return layout.to;
    MessageLine &last = message_lines.back();
    if (last.start + last.length != layout.to)
        return layout.to;
    size_t start = last.start;
    if (start > layout.from) {
        layout.first = last.number;
        message_lines.pop_back();
        return start;
    }
    if (message_endsAtBound(font, m.w, text, layout, bytes)) {
        // Allegro passes over the blank it breaks at, and over a newline
        // right after it, which then ends no line of its own.
        size_t next = layout.to + 1;
        return next < bytes && text[next] == '\n' ? next + 1 : next;
    }
    size_t blank = layout.to;
    while (blank > start && text[blank - 1] != ' ' && text[blank - 1] != '\t')
        blank--;
    if (blank <= start + 1)
        return layout.to;
    last.length = blank - 1 - start;
    return blank;
}

// Lays out the first `bytes` of the laid-out text into message_lines, a part
// at a time. Room is made first: nothing may throw inside Allegro's call.
static void message_layOut(const ALLEGRO_FONT *font, const Message &m, const std::string &text, size_t bytes,
                           size_t lines)
{
    message_lines.clear();
    message_lines.reserve(lines);
    MessageLayout layout{text.data(), 0, 0, message_lineBound(m), lines, 0, 0, false};
    while (layout.from < bytes) {
        layout.to = bytes - layout.from > layout.bound ? message_partEnd(text, layout) : bytes;
        size_t laidOut = message_lines.size();
        ALLEGRO_USTR_INFO info;
        al_do_multiline_ustr(font, m.w, al_ref_buffer(&info, text.data() + layout.from, layout.to - layout.from),
                             message_keepLine, &layout);
        if (layout.stopped || layout.to == bytes)
            return;
        layout.from = message_nextPart(font, m, text, layout, bytes, laidOut);
    }
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
    float lineHeight = al_get_font_line_height(font);
    size_t lines;
    float width;
    if (!message_reach(*m, std::max(lineHeight, 1.0f), &lines, &width))
        return;
    // Cuts made for a wider target hold for a narrower one.
    if (m->laidOutWidth < width)
        message_cutWords(*m, font, width);
    const std::string &text = message_laidOutText(*m);
    size_t shown = message_wholeBytes(text, message_laidOutBytes(*m, std::max(m->pos, 0)));
    message_layOut(font, *m, text, shown, lines);
    for (const TextPass &p : TEXT_PASSES) {
        ALLEGRO_COLOR colour = al_map_rgba_f(p.grey, p.grey, p.grey, p.alpha);
        for (const MessageLine &line : message_lines) {
            ALLEGRO_USTR_INFO info;
            al_draw_ustr(font, colour, m->x + p.dx, m->y + p.dy + lineHeight * line.number, 0,
                         al_ref_buffer(&info, text.data() + line.start, line.length));
        }
    }
}

bool message_showing()
{
    return !messageBox.empty();
}
