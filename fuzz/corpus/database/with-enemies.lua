-- The demo game's data.
--
-- Every table holds a count and numbered records ("actor1", "actor2", ...).
-- Lists are comma-separated text: "7,0,12". This file runs before Lua's
-- standard libraries are open, so it may only build tables from literals.

system = {
    fontNormal = "DejaVuSans.ttf",
    fontDamage = "DejaVuSans-Bold.ttf",
    fontSpecial = "DejaVuSansMono.ttf",
    fontSizeS = 12,
    fontSizeM = 16,
    fontSizeL = 22,
    -- Up to four actor ids; the first leads the party.
    startParty = "1,2",
    startPos = { map = "village.tmx", X = 422, Y = 297 },
    levelMax = 99,
}

actors = {
    actorSize = 2,
    actor1 = {
        -- One sprite cell, the sheet under gfx/charsets/, the collision box
        -- and the pivot's distance from the top of a cell.
        anim_w = 32, anim_h = 48,
        graphicName = "hero.png",
        w = 20, h = 14, yOff = 46,
        defaultName = "Aren",
        profession = "Wanderer",
        class = 1,
        levelStart = 1, expBase = 10, expGrowth = 5,
        lifeBase = 120, lifeGrowth = 12,
        manaBase = 20, manaGrowth = 3,
        strBase = 12, vitBase = 11, agiBase = 10, intBase = 8, dexBase = 9,
        learnings = { size = 2, learn0 = "1,2", learn1 = "2,5" },
        equips = "1,0,0,0,0",
    },
    actor2 = {
        anim_w = 32, anim_h = 48,
        graphicName = "mage.png",
        w = 20, h = 14, yOff = 46,
        defaultName = "Lysa",
        profession = "Scholar",
        class = 2,
        levelStart = 2, expBase = 12, expGrowth = 6,
        lifeBase = 80, lifeGrowth = 8,
        manaBase = 45, manaGrowth = 7,
        strBase = 7, vitBase = 8, agiBase = 11, intBase = 14, dexBase = 10,
        learnings = { size = 1, learn0 = "1,3" },
        equips = "2",
    },
}

classes = {
    classSize = 2,
    class1 = { elementResist = "100,100,100", conditionResist = "", features = "1", canEquip = "1,3" },
    class2 = { elementResist = "100,80,120", conditionResist = "2", features = "2", canEquip = "2,3" },
}

useable = {
    useableSize = 2,
    useable1 = { name = "Herb", description = "Restores a little life.", behaviour = "heal:50", kind = 0, canUse = 1 },
    useable2 = { name = "Ether", description = "Restores a little mana.", behaviour = "mana:20", kind = 0, canUse = 1 },
}

states = {
    stateSize = 1,
    state1 = {
        name = "Poison", behaviour = "damage:5", counterBehaviour = "",
        priority = 5, persist = 0, restriction = 0, lockSkill = 0, pose = 0, animation = 0,
        hitPerc = 100, critPerc = 100, strPerc = 100, vitPerc = 100, agiPerc = 100,
        intPerc = 100, dexPerc = 100, expPerc = 100,
        chance = "100,100,100,100,100,100",
    },
}

attributes = {
    attribSize = 2,
    attrib1 = { name = "Fire", mult = "200,150,100,50,0,-100" },
    attrib2 = { name = "Ice", mult = "200,150,100,50,0,-100" },
}

enemies = { enemySize = 1, enemy1 = { name = "Slime", class = 1, level = 2, expGive = 3, moneyGive = 4,
  treasure = { size = 1, item0 = "1,2,drop" }, life = 5, mana = 6, strBase = 1, vitBase = 1, agiBase = 1,
  intBase = 1, dexBase = 1, behaviour = "", elementResist = "1,2", conditionResist = "", features = "3" } }
