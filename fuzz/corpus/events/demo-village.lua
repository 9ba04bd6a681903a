-- Brookvale, the start map. Each function below is named by an object of the
-- map's "events" layer (its touchCall, interactCall or autoCall property).
-- A function runs at once when its event starts and only queues commands
-- through the table `command`; the engine then plays them one per tick.
-- This top-level code runs before Lua's libraries and `command` exist: it
-- only defines functions.

-- Elder Tomas (automatic, no condition): at rest he looks up at his apple tree.
function elder_idle()
    command.set_dir(-1, 3)
end

-- Elder Tomas (Ok key). He can only be reached from below, so he turns down
-- to speak and back to his tree when he is done.
function elder_talk()
    -- Read by the fisherman's automatic condition ("elder_spoken").
    elder_spoken = true
    command.set_dir(-1, 0)
    command.show_text("Elder Tomas: Ah, a traveller! Welcome to Brookvale.")
    command.wait(20)
    command.show_text("The wood to the north is calm today, and the old shrine lies east along the pond road. Bram at the pier knows the way.")
    command.wait(20)
    command.set_dir(-1, 3)
end

-- The signpost by the square (touch).
function read_sign()
    command.show_text("North: Whisperwood.    East: the Old Shrine.    South: Mira's garden and the pond.")
end

-- Mira (automatic, no condition): walks round her garden for ever. The route
-- points are map pixels; each is reached when it lies inside her box.
function villager_walk()
    command.new_route()
    command.add_point(432, 432)
    command.add_point(432, 528)
    command.add_point(112, 528)
    command.add_point(112, 432)
    command.set_route(-1, true)
end

function villager_talk()
    command.show_text("Mira: I walk round the garden every morning. The flowers like the company!")
end

-- Bram the fisherman (Ok key).
function fisher_talk()
    if elder_spoken then
        command.show_text("Bram: So the elder sent you east? Follow the road past my pond. Mind the spirit in the shrine, it never sits still.")
    else
        command.show_text("Bram: Shh... the fish are biting. Go and say hello to the elder first.")
    end
end

-- Bram (automatic, condition "elder_spoken"): once the elder has spoken, he
-- walks to the head of the pier and back, once.
function fisher_stroll()
    command.new_route()
    command.add_point(720, 368)
    command.add_point(720, 496)
    command.set_route(-1, false)
end

--@object id=1;name=Elder;x=422;y=169;width=20;height=14;animHeight=48;animWidth=32;autoCall=elder_idle;graphicName=elder.png;interactCall=elder_talk;yOff=46
--@object id=2;name=Sign;x=358;y=233;width=20;height=14;animHeight=48;animWidth=32;graphicName=sign.png;touchCall=read_sign;yOff=46
--@object id=3;name=Mira;x=102;y=425;width=20;height=14;animHeight=48;animWidth=32;autoCall=villager_walk;graphicName=villager.png;interactCall=villager_talk;yOff=46
--@object id=4;name=Bram;x=710;y=489;width=20;height=14;animHeight=48;animWidth=32;autoCall=fisher_stroll;autoCondition=elder_spoken;graphicName=fisher.png;interactCall=fisher_talk;yOff=46
--@player x=300;y=200
