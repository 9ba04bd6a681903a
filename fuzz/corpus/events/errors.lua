function broken() command.wait("x") end
function raise() error({}) end
function guard() setmetatable(_G, { __index = function(_, k) error("no " .. k) end }) end
command = 5
--@object id=1;x=90;y=80;autoCall=broken
--@object id=2;x=90;y=80;autoCall=raise;autoCondition=)(
--@object id=3;x=90;y=80;autoCall=guard;touchCall=nothing;interactCall=
--@object id=998;x=0;y=0;autoCall=broken
--@object id=-4;x=0;y=0
