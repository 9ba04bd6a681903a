-- Every command, from every kind of trigger.
function talk()
  command.show_text("First line\nsecond line, long enough to wrap at the edge of the box")
  command.wait(3)
  command.set_dir(-1, 2)
  command.show_text("caf\195\169 \226\130\172 done")
end
function walk()
  command.new_route()
  command.add_point(40, 40)
  command.add_point(120, 60)
  command.set_route(-1, true)
  command.set_route(0, false)
end
function spin()
  command.set_dir(-1, 1)
  command.wait(2)
  command.loop()
end
function touched() seen = (seen or 0) + 1 command.show_text("touch " .. seen) end
--@object id=1;x=90;y=80;interactCall=talk;autoCall=walk;graphicName=hero.png;animWidth=32;animHeight=48
--@object id=2;x=70;y=80;touchCall=touched;touchCondition=seen == nil or seen < 3
--@object id=5;x=200;y=100;autoCall=spin;autoCondition=true;visibleCondition=false;collide=0
--@player x=60;y=80
