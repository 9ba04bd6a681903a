// Message boxes: a queue of boxes whose text types out in skinned windows and
// closes on the Ok key. While a box is queued, closing ones included, the
// event interpreters wait and the player stands still.
#pragma once

#include <string>
#include <vector>

// The defaults every new box copies.
struct MessageOptions {
    int mode;          // 0 a byte per step, 2 all at once, else a word per step
    int windowType;    // see window.h
    std::string skin;
    int speed;         // a step every speed + 1 ticks
    int reserved;      // read by nothing
    int openDelay;     // ticks before the first step
    int closeDelay;    // steps a closed box stays on screen
    bool flag;         // copied into each box, read by nothing

    MessageOptions() : mode(0), windowType(0), speed(0), reserved(0),
                       openDelay(0), closeDelay(0), flag(false) {}
};

// Bytes from `from` to `to` of a box's text that its layout leaves out;
// `removed` counts those of this cut and every one before it.
struct MessageCut {
    size_t from;
    size_t to;
    size_t removed;
};

struct Message {
    std::string text;  // a newline breaks a line
    std::string skin;
    // The content rectangle: the text starts at its corner and wraps at its
    // width; the window's frame lies around it.
    int x;
    int y;
    int w;
    int h;
    int mode;
    int pos;           // bytes of text shown; a text is shown up to INT_MAX bytes
    int speed;
    int stepTimer;
    int openDelay;
    int closeDelay;
    bool finished;     // the whole text shows
    bool flag;
    bool open;         // false once the player has closed the box
    int windowSlot;    // -1 when the window pool was full
    // The text as it is drawn, made when the box is queued: each byte that is
    // not part of a UTF-8 character, and each NUL, becomes '?', so that the
    // bytes still line up with pos. Empty when that changes nothing.
    std::string drawnText;
    // The text as it is laid out, made at the first draw: drawnText with each
    // word too long for any line cut short (cuts, in text's bytes). Empty
    // while nothing is cut. laidOutWidth: the width of target it was made
    // for, 0 before the first draw.
    std::string laidOut;
    std::vector<MessageCut> cuts;
    float laidOutWidth;

    Message() : x(0), y(0), w(0), h(0), mode(0), pos(0), speed(0), stepTimer(0),
                openDelay(0), closeDelay(0), finished(false), flag(false),
                open(true), windowSlot(-1), laidOutWidth(0) {}
};

extern MessageOptions msgOptions;
// Oldest first; all are updated and drawn each tick, later ones on top.
extern std::vector<Message> messageBox;

void message_setOptions();
// Always 1.
int message_add(std::string text, int x, int y, int w, int h);
// Null for an index outside the queue.
Message *message_get(int index);
void message_close(int index);
// One tick of one box: false on a step tick of a closed box.
bool message_update(int index);
// One tick of the queue: every box updated and drawn, spent ones removed.
void message_updateAll();
void message_draw(int index);
bool message_showing();
