-- The Old Shrine, east of the village.

-- The spirit (automatic, no condition): turns round and round for ever.
-- `loop` starts its list again, so this event never ends and its interpreter
-- keeps running: while it does, no touch event fires anywhere, on any map,
-- for the rest of the game (the village sign and the mushrooms included).
-- Events started with the Ok key still work.
function spirit_dance()
    command.set_dir(-1, 1)
    command.wait(24)
    command.set_dir(-1, 0)
    command.wait(24)
    command.set_dir(-1, 2)
    command.wait(24)
    command.set_dir(-1, 3)
    command.wait(24)
    command.loop()
end

function spirit_talk()
    command.show_text("Spirit: You found me! I have danced here since the village was young.")
end

function altar_read()
    command.show_text("The crystal hums softly. Words are carved below it: \"Every road leads home.\"")
end

--@object id=1;name=Altar;x=198;y=72;width=20;height=24;collide=0;interactCall=altar_read
--@object id=2;name=Spirit;x=198;y=169;width=20;height=14;animHeight=48;animWidth=32;autoCall=spirit_dance;graphicName=spirit.png;interactCall=spirit_talk;yOff=46
--@player x=300;y=200
