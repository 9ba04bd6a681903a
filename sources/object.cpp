#include "object.h"

#include "system.h"

MapObject mapObjects[MAP_OBJECT_COUNT];
void (*object_playSe)(std::string path, float volume, float speed) = engine_playSe;

MapObject *getMapObject(int slot)
{
    return &mapObjects[slot];
}

void object_setMoveroute(int slot, std::vector<Point> route, bool loop)
{
    MapObject *o = getMapObject(slot);
    o->route = std::move(route);
    o->routeIndex = 0;
    // An empty route has no point to steer to: it ends at once.
    o->routeActive = !o->route.empty();
    o->routeLoop = loop;
}
