#include <cstdio>
#include <new>

#include "sceneMap.h"
#include "system.h"

// Memory that runs out where the engine has no way round it ends the game
// with a line rather than an abort. The audio is shut down first: Allegro's
// exit handler would otherwise wait for ever on the audio threads.
static int main_outOfMemory()
{
    fputs("Out of memory: the game cannot go on.\n", stderr);
    engine_exit();
    return 1;
}

int main(int, char **)
{
    try {
        if (engine_initialize() != 0 || engine_createNewGameObjects() != 0)
            return 1;
        sceneMap_create();
        while (engine_loop() == 0) {
        }
    } catch (const std::bad_alloc &) {
        return main_outOfMemory();
    }
    engine_exit();
    return 0;
}
