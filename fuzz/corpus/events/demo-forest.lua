-- Whisperwood, north of the village.

-- Ranger Ilse (Ok key).
function ranger_talk()
    command.show_text("Ranger Ilse: These woods are old. Keep to the trail and it will lead you home, south.")
    command.wait(10)
    command.show_text("If you find the red mushrooms, leave a few for the deer.")
end

-- The mushrooms (touch, condition "not picked"): walking over them picks them
-- once; after that the condition is false and the touch does nothing. Every
-- visit loads the map's script anew, so they grow back.
function pick_mushrooms()
    picked = true
    command.show_text("You pick a few red mushrooms. They smell of earth and rain.")
end

--@object id=1;name=Ilse;x=326;y=105;width=20;height=14;animHeight=48;animWidth=32;graphicName=ranger.png;interactCall=ranger_talk;yOff=46
--@object id=2;name=Mushrooms;x=384;y=192;width=32;height=32;collide=0;touchCall=pick_mushrooms;touchCondition=not picked
--@player x=300;y=200
