#!/usr/bin/env python3
"""Draws the demo game's sprite sheets into game/gfx/charsets/.

A sheet is 5 columns by 4 rows of 32 x 48 cells: column 0 standing, columns 1
to 4 the walking cycle; rows face down, right, left and up. The figure's feet
stand on row 45 of the cell, one row above the pivot at (16, 46).

Usage: make_charsets.py OUTPUT_FOLDER
"""
import os
import sys

from pixels import Canvas, shade

CELL_W, CELL_H = 32, 48
OUTLINE = (34, 26, 38, 255)
EYE = (40, 30, 46, 255)

# Walking frames: (left leg lift, right leg lift, body bob, arm swing).
# Frames 1 and 3 are the two steps, 2 and 4 pass through standing one pixel up.
STEPS = {0: (0, 0, 0, 0), 1: (0, 2, 0, 1), 2: (0, 0, -1, 0), 3: (2, 0, 0, -1), 4: (0, 0, -1, 0)}

CHARACTERS = {
    # The hero: brown spiky hair, a red tunic (a colour no tile uses), a blue cape.
    "hero": dict(skin=(246, 204, 170), hair=(112, 66, 34), style="spiky", top=(205, 45, 45),
                 pants=(52, 62, 110), shoes=(92, 58, 34), belt=(236, 190, 60), cape=(48, 92, 178)),
    "mage": dict(skin=(240, 200, 172), hair=(222, 170, 86), style="long", top=(116, 64, 160),
                 pants=(70, 44, 100), shoes=(60, 40, 60), robe=True, hat="wizard", hatc=(92, 48, 140),
                 belt=(236, 190, 60)),
    "elder": dict(skin=(236, 196, 164), hair=(226, 226, 220), style="beard", top=(150, 128, 96),
                  pants=(110, 92, 70), shoes=(80, 60, 40), robe=True, staff=(120, 84, 46), belt=(96, 72, 48)),
    "villager": dict(skin=(248, 210, 180), hair=(236, 196, 84), style="long", top=(74, 160, 96),
                     pants=(60, 120, 76), shoes=(120, 70, 40), robe=True, apron=(238, 232, 212)),
    "fisher": dict(skin=(222, 172, 132), hair=(60, 44, 34), style="short", top=(64, 120, 190),
                   pants=(132, 96, 60), shoes=(70, 50, 34), hat="straw", hatc=(222, 190, 110)),
    "ranger": dict(skin=(232, 190, 150), hair=(150, 90, 44), style="short", top=(70, 110, 50),
                   pants=(90, 70, 44), shoes=(64, 44, 30), hat="hood", hatc=(56, 96, 44), belt=(120, 84, 46)),
}


def draw_legs(c, p, d, frame):
    lift_l, lift_r, bob, _ = STEPS[frame]
    pants, shoes = p["pants"], p["shoes"]
    if d in (0, 3):
        for x0, lift in ((11, lift_l), (17, lift_r)):
            bottom = 46 - lift
            c.rect(x0, 37 + bob, x0 + 4, bottom - 2, pants)
            c.rect(x0, bottom - 3, x0 + 4, bottom, shoes)
        return
    # Side view, facing right: the far leg darker; steps swing the legs apart.
    spread = {0: 0, 1: 3, 2: 0, 3: -3, 4: 0}[frame]
    for x0, far in ((14 - spread, True), (14 + spread, False)):
        col = shade(pants, 0.8) if far else pants
        c.rect(x0, 37 + bob, x0 + 4, 43, col)
        c.rect(x0, 43, x0 + 5, 46, shade(shoes, 0.8) if far else shoes)


def draw_body(c, p, d, frame):
    _, _, bob, swing = STEPS[frame]
    top = p["top"]
    y0 = 25 + bob
    robe = p.get("robe")
    if d in (0, 3):
        if p.get("cape") and d == 0:
            c.rect(9, y0 + 1, 23, y0 + 13, shade(p["cape"], 0.8))
        if robe:
            # A robe widens toward its hem, which sways with the steps.
            for y in range(y0, 44):
                half = 6 + (y - y0) // 4
                sway = swing if y > 38 else 0
                c.rect(16 - half + sway, y, 16 + half + sway, y + 1, top if y % 11 else shade(top, 0.9))
            c.rect(16 - 7, y0, 16 - 4, 44, shade(top, 1.08))
            c.rect(16 + 4, y0, 16 + 7 + 2, 44, shade(top, 0.85))
        else:
            c.rect(10, y0, 22, y0 + 13, top)
            c.rect(10, y0, 12, y0 + 13, shade(top, 1.12))
            c.rect(19, y0, 22, y0 + 13, shade(top, 0.82))
        if p.get("apron") and d == 0:
            c.rect(12, y0 + 5, 20, 42, p["apron"])
        if p.get("belt"):
            c.rect(10, y0 + 9, 22, y0 + 11, p["belt"])
            if d == 0:
                c.rect(15, y0 + 9, 17, y0 + 11, shade(p["belt"], 0.7))
        if p.get("cape") and d == 3:
            c.rect(9, y0, 23, y0 + 15, p["cape"])
            c.rect(9, y0, 11, y0 + 15, shade(p["cape"], 1.15))
            c.rect(21, y0, 23, y0 + 15, shade(p["cape"], 0.8))
        # Arms at the sides, swinging against the legs.
        for x0, s in ((7, swing), (22, -swing)):
            c.rect(x0, y0 + 1 + s, x0 + 3, y0 + 10 + s, shade(top, 0.92))
            c.rect(x0, y0 + 10 + s, x0 + 3, y0 + 12 + s, p["skin"])
        return
    # Side view, facing right.
    if p.get("cape"):
        c.rect(9, y0 + 1, 13, y0 + 15, p["cape"])
    if robe:
        for y in range(y0, 44):
            half = 5 + (y - y0) // 5
            c.rect(16 - half, y, 16 + half, y + 1, top)
        c.rect(16 + 2, y0, 16 + 7, 44, shade(top, 0.86))
    else:
        c.rect(11, y0, 21, y0 + 13, top)
        c.rect(18, y0, 21, y0 + 13, shade(top, 0.85))
    if p.get("belt"):
        c.rect(11, y0 + 9, 21, y0 + 11, p["belt"])
    arm_x = 14 + 3 * swing
    c.rect(arm_x, y0 + 1, arm_x + 4, y0 + 10, shade(top, 0.88))
    c.rect(arm_x, y0 + 10, arm_x + 4, y0 + 12, p["skin"])


def draw_head(c, p, d, frame):
    _, _, bob, _ = STEPS[frame]
    cy = 18 + bob
    skin, hair = p["skin"], p["hair"]
    style = p["style"]
    if style == "long" and d != 3:
        # Long hair falls behind the shoulders.
        c.rect(8 if d == 0 else 9, cy - 2, 24 if d == 0 else 17, cy + 12, shade(hair, 0.9))
    cx = 16 if d in (0, 3) else 17
    c.ellipse(cx, cy, 7.6, 7.6, skin)
    if d == 3:
        c.ellipse(cx, cy, 7.6, 7.6, hair)
        c.rect(9, cy + 3, 23, cy + 5, shade(hair, 0.85))
        if style == "long":
            c.rect(9, cy, 23, cy + 13, hair)
    elif d == 0:
        c.ellipse(cx, cy - 3, 7.8, 5.2, hair)
        c.rect(8, cy - 3, 11, cy + 3, hair)
        c.rect(21, cy - 3, 24, cy + 3, hair)
        c.rect(12, cy - 3, 20, cy - 1, hair)
        # Eyes with a light glint, and a little colour on the cheeks.
        for ex in (12, 18):
            c.rect(ex, cy + 1, ex + 2, cy + 4, EYE)
            c.set(ex, cy + 1, (230, 236, 250, 255))
        c.rect(10, cy + 3, 12, cy + 4, (236, 150, 140, 160))
        c.rect(20, cy + 3, 22, cy + 4, (236, 150, 140, 160))
    else:
        c.ellipse(cx - 3, cy - 3, 6.6, 5.6, hair)
        c.rect(cx + 1, cy - 8, cx + 6, cy - 3, hair)
        c.rect(9, cy - 2, 13, cy + 5, hair)
        c.rect(20, cy + 1, 22, cy + 4, EYE)
        c.set(20, cy + 1, (230, 236, 250, 255))
        c.set(24, cy + 2, shade(skin, 0.9))
    if style == "spiky":
        for sx in range(9, 24, 4):
            c.line(sx, cy - 6, sx + 1, cy - 10, hair)
            c.line(sx + 1, cy - 6, sx + 2, cy - 9, shade(hair, 1.2))
    if style == "beard" and d != 3:
        bx = cx if d == 0 else cx + 2
        c.ellipse(bx, cy + 8, 6 if d == 0 else 4.5, 4.5, hair)
        if d == 0:
            c.rect(13, cy + 5, 19, cy + 6, shade(skin, 0.75))
    draw_hat(c, p, d, cx, cy)


def draw_hat(c, p, d, cx, cy):
    hat = p.get("hat")
    if not hat:
        return
    col = p["hatc"]
    if hat == "wizard":
        for i in range(13):
            half = 1 + i * 7 // 12
            tilt = (12 - i) // 4 if d != 2 else 0
            c.rect(cx - half - tilt, cy - 18 + i, cx + half - tilt + 1, cy - 17 + i, col)
        c.ellipse(cx, cy - 5, 11, 2.6, shade(col, 0.85))
        c.rect(cx - 6, cy - 7, cx + 7, cy - 5, (236, 190, 60, 255))
    elif hat == "straw":
        c.ellipse(cx, cy - 4, 12, 3.2, col)
        c.ellipse(cx, cy - 7, 6.5, 4.2, shade(col, 1.05))
        c.rect(cx - 6, cy - 6, cx + 7, cy - 4, (180, 70, 60, 255))
    elif hat == "hood":
        c.ellipse(cx, cy - 2, 8.8, 7.6, col)
        if d == 0:
            c.ellipse(cx, cy + 1, 6.4, 6.0, p["skin"])
            for ex in (12, 18):
                c.rect(ex, cy, ex + 2, cy + 3, EYE)
                c.set(ex, cy, (230, 236, 250, 255))
        elif d != 3:
            c.ellipse(cx + 3, cy + 1, 4.0, 5.5, p["skin"])
            c.rect(20, cy, 22, cy + 3, EYE)
        c.rect(cx - 8, cy + 5, cx + 9, cy + 8, shade(col, 0.85))


def draw_staff(c, p, d, frame):
    if not p.get("staff"):
        return
    _, _, bob, _ = STEPS[frame]
    x = {0: 25, 1: 21, 3: 6}[d]
    c.rect(x, 14 + bob, x + 2, 46, p["staff"])
    c.ellipse(x + 1, 13 + bob, 2.6, 2.6, (120, 200, 110, 255))


def person_cell(p, d, frame):
    """One cell of a person; the left-facing row is the right-facing one mirrored."""
    if d == 2:
        return person_cell(p, 1, frame).flipped()
    fig = Canvas(CELL_W, CELL_H)
    if d == 3:
        draw_staff(fig, p, d, frame)
    draw_legs(fig, p, d, frame)
    draw_body(fig, p, d, frame)
    draw_head(fig, p, d, frame)
    if d != 3:
        draw_staff(fig, p, d, frame)
    fig.outline(OUTLINE)
    cell = Canvas(CELL_W, CELL_H)
    cell.ellipse(16, 45, 8, 2.5, (0, 0, 0, 70))
    cell.paste(fig, 0, 0)
    return cell


def spirit_cell(d, frame):
    """A little blue flame spirit that floats and looks where it faces."""
    glow = Canvas(CELL_W, CELL_H)
    bob = (0, -1, -2, -1, 0)[frame]
    cy = 26 + bob
    r = 9 + (frame % 2) * 0.6
    for k, col in enumerate(((110, 200, 255, 60), (120, 210, 255, 120))):
        glow.ellipse(16, cy, r + 4 - 2 * k, r + 4 - 2 * k, col)
    body = Canvas(CELL_W, CELL_H)
    body.ellipse(16, cy, r, r, (96, 190, 250, 255))
    # The flame's tip flickers from side to side.
    tip = (0, 2, 0, -2, 1)[frame]
    for i in range(8):
        half = 6 - i * 6 // 8
        body.rect(16 - half + tip * i // 8, cy - 8 - i, 16 + half + tip * i // 8, cy - 7 - i, (96, 190, 250, 255))
    body.ellipse(14, cy - 3, 4, 4, (200, 240, 255, 255))
    look = {0: (0, 2), 1: (3, 0), 2: (-3, 0), 3: (0, -3)}[d]
    if d != 3:
        for ex in (12, 18):
            body.rect(ex + look[0], cy + look[1], ex + look[0] + 2, cy + look[1] + 3, (20, 40, 90, 255))
    body.outline((30, 60, 120, 255))
    cell = Canvas(CELL_W, CELL_H)
    cell.ellipse(16, 45, 6, 2, (0, 0, 0, 60))
    cell.paste(glow, 0, 0)
    cell.paste(body, 0, 0)
    return cell


def sign_cell(d, frame):
    """A wooden signpost; every cell is the same."""
    fig = Canvas(CELL_W, CELL_H)
    wood, dark = (168, 118, 66, 255), (120, 80, 44, 255)
    fig.rect(14, 26, 18, 46, dark)
    fig.rect(14, 26, 15, 46, wood)
    fig.rect(4, 14, 28, 30, wood)
    fig.rect(4, 28, 28, 30, dark)
    for y, x1 in ((18, 23), (22, 25), (26, 19)):
        fig.rect(8, y, x1, y + 1, (88, 58, 34, 255))
    fig.outline(OUTLINE)
    cell = Canvas(CELL_W, CELL_H)
    cell.ellipse(16, 45, 6, 2, (0, 0, 0, 70))
    cell.paste(fig, 0, 0)
    return cell


def sheet(cell_of):
    out = Canvas(CELL_W * 5, CELL_H * 4)
    for d in range(4):
        for frame in range(5):
            out.paste(cell_of(d, frame), frame * CELL_W, d * CELL_H)
    return out


def main(folder):
    os.makedirs(folder, exist_ok=True)
    for name, p in CHARACTERS.items():
        sheet(lambda d, f, p=p: person_cell(p, d, f)).save(os.path.join(folder, name + ".png"))
    sheet(spirit_cell).save(os.path.join(folder, "spirit.png"))
    sheet(sign_cell).save(os.path.join(folder, "sign.png"))


if __name__ == "__main__":
    main(sys.argv[1])
