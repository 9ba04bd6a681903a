#include <gtest/gtest.h>

#include <string>

#include "actor.h"
#include "database.h"
#include "party.h"

namespace {

class ActorPartyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (DBActor &d : dbActor)
            d = DBActor();
        for (Actor &a : actors)
            a = Actor();
        dbSystem = DBSystem();
        setParty(0, 0, 0, 0);
    }

    static void setParty(int a, int b, int c, int d)
    {
        party[0] = a;
        party[1] = b;
        party[2] = c;
        party[3] = d;
    }

    static void expectParty(int a, int b, int c, int d)
    {
        EXPECT_EQ(party[0], a);
        EXPECT_EQ(party[1], b);
        EXPECT_EQ(party[2], c);
        EXPECT_EQ(party[3], d);
    }

    // Builds actor 1 from a definition with the given start level.
    static const Actor &build(int levelStart)
    {
        dbActor[1].levelStart = static_cast<int8_t>(levelStart);
        testing::internal::CaptureStderr();
        actor_initialize(1);
        testing::internal::GetCapturedStderr();
        return actors[1];
    }
};

TEST_F(ActorPartyTest, CopiesTheDefinition)
{
    DBActor &d = dbActor[3];
    d.graphicName = "hero.png";
    d.defaultName = "Aren";
    d.anim_h = 48;
    d.yOff = 46;
    d.levelStart = 1;
    d.intBase = 14;
    d.equips[4] = 7;
    actors[3].extra[2] = 9;
    actors[3].extraListA.push_back(1);

    actor_initialize(3);
    const Actor &a = *actor_get(3);
    EXPECT_EQ(&a, &actors[3]);
    EXPECT_EQ(a.graphicName + a.name, "hero.pngAren");
    EXPECT_EQ(a.anim_h, 48);
    EXPECT_EQ(a.yOff, 46);
    EXPECT_EQ(a.level, 1);
    EXPECT_EQ(a.intel, 14);
    EXPECT_EQ(a.equips[4], 7);
    EXPECT_EQ(a.extra[2], 0);
    EXPECT_TRUE(a.extraListA.empty());
}

TEST_F(ActorPartyTest, ExperienceTable)
{
    dbActor[1].expBase = 10;
    dbActor[1].expGrowth = 5;
    const Actor &a = build(3);
    const int start[] = {0, 20, 50, 90, 140, 200};
    for (int l = 0; l < 6; l++)
        EXPECT_EQ(a.expTable[l], start[l]);
    EXPECT_EQ(a.expTable[99], 10 * 99 + 100 * 99 * 5);
    EXPECT_EQ(a.exp, 50);

    EXPECT_EQ(build(1).exp, 0);
    EXPECT_EQ(build(100).exp, a.expTable[99]);

    // The extremes of the narrow fields stay within int.
    dbActor[1].expBase = -128;
    dbActor[1].expGrowth = -128;
    EXPECT_EQ(build(100).exp, -128 * 99 + 100 * 99 * -128);
}

TEST_F(ActorPartyTest, StartLevelsOutsideTheTable)
{
    dbActor[1].expBase = 10;
    dbActor[1].expGrowth = 5;
    dbActor[1].levelStart = -56;
    testing::internal::CaptureStderr();
    actor_initialize(1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("start level -56 of actor 1 is outside 0 to 100"), std::string::npos) << err;
    EXPECT_EQ(actors[1].level, -56);
    EXPECT_EQ(actors[1].exp, 0);

    // Above 100 the formula goes on past the table.
    EXPECT_EQ(build(120).exp, 10 * 119 + 120 * 119 * 5);
    EXPECT_EQ(build(127).exp, 10 * 126 + 127 * 126 * 5);
    EXPECT_EQ(build(0).exp, 0);
}

TEST_F(ActorPartyTest, LifeManaAndAttributes)
{
    DBActor &d = dbActor[1];
    d.lifeBase = 100;
    d.lifeGrowth = 10;
    d.manaBase = 20;
    d.manaGrowth = 3;
    const Actor &a = build(2);
    EXPECT_EQ(a.maxLife, 120);
    EXPECT_EQ(a.life, 120);
    EXPECT_EQ(a.maxMana, 26);
    EXPECT_EQ(a.mana, 26);

    d.lifeBase = 50;
    d.lifeGrowth = -5;
    EXPECT_EQ(build(4).maxLife, 30);
    EXPECT_EQ(actors[1].life, 30);

    // Growths are part of the formula even though the data file sets none.
    d.strBase = 4;
    d.strGrowth = 2;
    EXPECT_EQ(build(3).str, 10);

    // Huge growths from the data file are held at the edge of an int.
    d.lifeBase = 2000000000;
    d.lifeGrowth = 1 << 30;
    d.manaBase = -2000000000;
    d.manaGrowth = -(1 << 30);
    EXPECT_EQ(build(100).maxLife, 2147483647);
    EXPECT_EQ(actors[1].maxMana, -2147483647 - 1);
    EXPECT_EQ(build(-100).maxLife, -2147483647 - 1);
}

TEST_F(ActorPartyTest, ActorIdsOutsideTheTable)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(actor_get(32), &actors[0]);
    EXPECT_EQ(actor_get(-5), &actors[0]);
    actor_initialize(40);
    actor_initialize(-1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("actor_get: actor id 32 is outside 0 to 31"), std::string::npos) << err;
    EXPECT_NE(err.find("actor_initialize: actor id 40 is outside 0 to 31"), std::string::npos) << err;
    EXPECT_EQ(actor_get(31), &actors[31]);

    testing::internal::CaptureStderr();
    EXPECT_EQ(getDBActor(32), &dbActor[0]);
    EXPECT_EQ(getDBActor(-1), &dbActor[0]);
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("getDBActor: actor id 32 is outside 0 to 31"), std::string::npos) << err;
    EXPECT_EQ(getDBActor(31), &dbActor[31]);
}

TEST_F(ActorPartyTest, InitializeFromTheStartParty)
{
    dbSystem.startParty[0] = 1;
    dbSystem.startParty[1] = 2;
    dbActor[1].graphicName = "hero.png";
    dbActor[1].levelStart = 1;
    dbActor[2].graphicName = "mage.png";
    dbActor[2].levelStart = 3;
    dbActor[2].expBase = 10;
    dbActor[2].expGrowth = 5;
    actors[0].graphicName = "stale";
    actors[0].exp = 99;

    party_initialize();
    expectParty(1, 2, 0, 0);
    EXPECT_EQ(party_getLeader(), 1);
    EXPECT_EQ(actor_get(party_getLeader())->graphicName, "hero.png");
    EXPECT_EQ(actors[2].exp, 50);
    // Empty slots rebuild the empty actor.
    EXPECT_EQ(actors[0].graphicName, "");
    EXPECT_EQ(actors[0].exp, 0);
}

TEST_F(ActorPartyTest, EmptyLeader)
{
    party_initialize();
    expectParty(0, 0, 0, 0);
    EXPECT_EQ(party_getLeader(), 0);
    EXPECT_EQ(actor_get(party_getLeader()), &actors[0]);
}

TEST_F(ActorPartyTest, AddMember)
{
    setParty(3, 0, 0, 0);
    EXPECT_FALSE(party_addMember(3));
    expectParty(3, 0, 0, 0);
    EXPECT_TRUE(party_addMember(5));
    expectParty(3, 5, 0, 0);
    EXPECT_FALSE(party_addMember(0));
    expectParty(3, 5, 0, 0);

    setParty(1, 2, 3, 4);
    EXPECT_FALSE(party_addMember(5));
    EXPECT_FALSE(party_addMember(31));
    expectParty(1, 2, 3, 4);

    setParty(0, 0, 0, 0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(party_addMember(32));
    EXPECT_FALSE(party_addMember(-1));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("actor id 32 is outside 0 to 31"), std::string::npos) << err;
    expectParty(0, 0, 0, 0);
}

TEST_F(ActorPartyTest, RemoveMember)
{
    setParty(1, 2, 3, 4);
    EXPECT_TRUE(party_removeMember(2));
    expectParty(1, 3, 4, 0);
    EXPECT_FALSE(party_removeMember(9));
    expectParty(1, 3, 4, 0);
    EXPECT_TRUE(party_removeMember(1));
    expectParty(3, 4, 0, 0);
    EXPECT_TRUE(party_removeMember(4));
    expectParty(3, 0, 0, 0);

    // The search ends at the first empty slot.
    setParty(1, 0, 2, 0);
    EXPECT_FALSE(party_removeMember(2));
    expectParty(1, 0, 2, 0);
    EXPECT_FALSE(party_removeMember(0));
}

TEST_F(ActorPartyTest, MemberLookups)
{
    setParty(1, 0, 2, 0);
    EXPECT_EQ(party_getMemberIndex(0), 1);
    EXPECT_EQ(party_getMemberIndex(2), 2);
    EXPECT_EQ(party_getMemberIndex(1), 0);
    EXPECT_EQ(party_getMemberIndex(7), -1);
    EXPECT_EQ(party_getMemberById(2), 2);
    EXPECT_EQ(party_getMemberById(7), 0);
    EXPECT_EQ(party_getMember(2), 2);
    EXPECT_EQ(party_getMember(3), 0);

    setParty(1, 2, 3, 4);
    EXPECT_EQ(party_getMemberIndex(0), -1);
    EXPECT_EQ(party_getMemberById(0), 0);
    EXPECT_EQ(party_getMemberById(9), 0);

    testing::internal::CaptureStderr();
    EXPECT_EQ(party_getMember(4), 0);
    EXPECT_EQ(party_getMember(-1), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("slot 4 is outside 0 to 3"), std::string::npos) << err;
}

} // namespace
