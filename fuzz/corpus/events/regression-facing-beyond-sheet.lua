function turn()
  command.set_dir(-1, 2147483647)
  command.wait(2)
  command.set_dir(-1, -2147483648)
  command.wait(2)
  command.set_dir(-1, 1)
end
--@object id=1;x=90;y=80;autoCall=turn;graphicName=hero.png;animWidth=32;animHeight=48
--@player x=60;y=80
