#include "party.h"

#include <cstdio>

#include "actor.h"
#include "database.h"

int party[PARTY_SLOTS] = {0, 0, 0, 0};

void party_initialize()
{
    const DBSystem *sys = getDBSystem();
    for (int s = 0; s < PARTY_SLOTS; s++) {
        party[s] = sys->startParty[s];
        actor_initialize(party[s]);
    }
}

int party_getMemberIndex(int id)
{
    for (int s = 0; s < PARTY_SLOTS; s++) {
        if (party[s] == id)
            return s;
    }
    return -1;
}

int party_getMember(int slot)
{
    if (slot < 0 || slot >= PARTY_SLOTS) {
        fprintf(stderr, "party_getMember: slot %d is outside 0 to %d.\n", slot, PARTY_SLOTS - 1);
        return 0;
    }
    return party[slot];
}

int party_getLeader()
{
    return party_getMember(0);
}

int party_getMemberById(int id)
{
    int slot = party_getMemberIndex(id);
    return slot < 0 ? 0 : party[slot];
}

bool party_addMember(int id)
{
    if (id < 0 || id >= ACTOR_COUNT) {
        fprintf(stderr, "party_addMember: actor id %d is outside 0 to %d.\n", id, ACTOR_COUNT - 1);
        return false;
    }
    for (int s = 0; s < PARTY_SLOTS; s++) {
        if (party[s] == id)
            return false;
        if (party[s] == 0) {
            party[s] = id;
            return true;
        }
    }
    return false;
}

bool party_removeMember(int id)
{
    for (int s = 0; s < PARTY_SLOTS; s++) {
        if (party[s] == 0)
            return false;
        if (party[s] == id) {
            for (int k = s; k < PARTY_SLOTS - 1; k++)
                party[k] = party[k + 1];
            party[PARTY_SLOTS - 1] = 0;
            return true;
        }
    }
    return false;
}
