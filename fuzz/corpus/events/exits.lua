function arrive() command.show_text("again") end
return function() command.wait(1) end
--@map width=4;height=3;exitEast=other.tmx;exitEastOffset=-8;exitSouth=missing.tmx;bgmChange=1;bgmName=x.ogg
--@object id=1;x=8;y=8;autoCall=arrive
--@player x=100;y=60
