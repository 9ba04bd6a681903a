// The party: four slots of actor ids, slot 0 the leader, 0 an empty slot.
#pragma once

enum { PARTY_SLOTS = 4 };

extern int party[PARTY_SLOTS];

// Fills the slots from the start party and builds each slot's actor.
void party_initialize();

// The first slot holding the id, else -1; an id of 0 finds the first empty slot.
int party_getMemberIndex(int id);
// The id in a slot 0 to 3; any other slot is reported and reads as empty (0).
int party_getMember(int slot);
int party_getLeader();
// The id itself when it is in the party, else 0.
int party_getMemberById(int id);
// Puts the id into the first empty slot. False when it is already a member,
// when the party is full, and for 0; an id outside 0 to 31 is reported.
bool party_addMember(int id);
// Takes the id out and moves the members behind it forward.
bool party_removeMember(int id);
