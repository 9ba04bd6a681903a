#include "sceneMap.h"
#include "system.h"

int main(int, char **)
{
    if (engine_initialize() != 0 || engine_createNewGameObjects() != 0)
        return 1;
    sceneMap_create();
    while (engine_loop() == 0) {
    }
    engine_exit();
    return 0;
}
