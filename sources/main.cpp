#include "system.h"

int main(int, char **)
{
    if (engine_initialize() != 0)
        return 1;
    engine_createNewGameObjects();
    while (engine_loop() == 0) {
    }
    engine_exit();
    return 0;
}
