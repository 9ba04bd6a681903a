system = { fontNormal = "DejaVuSans.ttf", fontDamage = "missing.ttf",
  fontSpecial = "DejaVuSansMono.ttf", fontSizeS = -3, fontSizeM = '16', fontSizeL = 2.0,
  startParty = "1", startPos = { map = "village.tmx", X = -1, Y = 2147483647 }, levelMax = 99 }
actors = { actorSize = 1, actor1 = { anim_w = 32, anim_h = 48, graphicName = "hero.png", w = 20, h = 14,
  yOff = 46, defaultName = "A", profession = "B", class = 1, levelStart = 127, expBase = -128,
  expGrowth = 255, lifeBase = 2147483647, lifeGrowth = 2147483647, manaBase = 0, manaGrowth = 0,
  strBase = 1, vitBase = 1, agiBase = 1, intBase = 1, dexBase = 1, strGrowth = 1, vitGrowth = 1,
  agiGrowth = 1, intGrowth = 1, dexGrowth = 1,
  learnings = { size = 2, learn0 = "1,2", learn1 = "" }, equips = "1,2,3,4,5,6" } }
classes = { classSize = 0 }
useable = { useableSize = 0 }
states = { stateSize = 1, state1 = { name = "s", behaviour = "", counterBehaviour = "", priority = 1,
  persist = 0, restriction = 0, lockSkill = 0, pose = 0, animation = 0, hitPerc = 0, critPerc = 0,
  strPerc = 0, vitPerc = 0, agiPerc = 0, intPerc = 0, dexPerc = 0, expPerc = 0, chance = ",,7" } }
attributes = { attribSize = 0 }
