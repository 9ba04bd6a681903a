function f() end
--@object id=0;x=21474836478;y=-99999999999;width=2147483647;priority=2147483647;animWidth=2147483647;graphicName=hero.png
--@object id=1;x=10;y=10;autoCall=f
--@map exitEast=other.tmx;exitEastOffset=2147483647
--@player x=4000;y=60
