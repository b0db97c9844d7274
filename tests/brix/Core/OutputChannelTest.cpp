#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/UMessage.h"
#include "CoreServices/Implementations/UCoreServices.h"
#include "support/RecordingHandler.h"

using namespace brix;
using brix::test::RecordingHandler;
using brix::test::ScopedHandler;
using Events = std::vector<std::string>;

namespace {
// Core services whose channels are connected to the process-wide targets, as the
// plug-in's are once initialised.
UCoreServices_ANSI& InitialisedServices() {
    static UCoreServices_ANSI* services = [] {
        auto* s = new UCoreServices_ANSI();
        s->Init(0);
        return s;
    }();
    return *services;
}
}  // namespace

TEST(OutputChannel, TwoLineWarningReachesTheSinkAsFiveWrites) {
    RecordingHandler sink;
    ScopedHandler install(7, &sink);
    { UMessage(*InitialisedServices().GetChannel(7), "first line\r\nsecond line"); }
    EXPECT_EQ(sink.events,
              (Events{"<begin>", "WARNING: ", "first line\r\n", "         ", "second line", "\r\n", "<end>"}));
}

TEST(OutputChannel, PrefixesAndTargetsPerChannel) {
    RecordingHandler targets[8];
    std::vector<ScopedHandler> installed;
    installed.reserve(8);
    for (int i = 0; i < 8; ++i) installed.emplace_back(i, &targets[i]);
    UCoreServices_ANSI& services = InitialisedServices();

    struct Case {
        int channel;
        std::vector<int> reached;
        std::string text;
    } cases[] = {
        {1, {1}, "x\r\n"},
        {2, {1, 2}, "DEBUG:   x\r\n"},
        {3, {3, 1}, "x\r\n"},
        {4, {1, 3, 4}, "x\r\n"},
        {5, {5, 1}, "x\r\n"},
        {6, {1, 3, 6}, "x\r\n"},
        {7, {1, 7, 4}, "WARNING: x\r\n"},
        {0, {}, ""},
        {8, {}, ""},
        {-1, {}, ""},
    };
    for (const Case& c : cases) {
        for (RecordingHandler& t : targets) t.events.clear(), t.writes.clear();
        { UMessage(*services.GetChannel(c.channel), "x"); }
        for (int i = 0; i < 8; ++i) {
            const bool expected = std::find(c.reached.begin(), c.reached.end(), i) != c.reached.end();
            EXPECT_EQ(targets[i].Text(), expected ? c.text : "") << "channel " << c.channel << " target " << i;
        }
    }
    // Plain channels pass line breaks through unchanged.
    targets[6].writes.clear();
    { UMessage(*services.GetChannel(6), "a\r\nb"); }
    EXPECT_EQ(targets[6].Text(), "a\r\nb\r\n");
}

TEST(OutputChannel, TargetListRules) {
    UOutputChannel channel;
    RecordingHandler a, b, c, d, e;
    EXPECT_EQ(channel.AddTarget(&a), 0);
    EXPECT_EQ(channel.AddTarget(&b), 1);
    EXPECT_EQ(channel.AddTarget(&c), 2);
    EXPECT_EQ(channel.AddTarget(&d), 3);
    EXPECT_EQ(channel.AddTarget(&e), -1);
    EXPECT_EQ(channel.GetNumTargets(), 4u);
    EXPECT_EQ(channel.RemoveTarget(&e), nullptr);
    EXPECT_EQ(channel.RemoveTarget(&b), &b);
    EXPECT_EQ(channel.GetTarget(0), &a);
    EXPECT_EQ(channel.GetTarget(1), &c);
    EXPECT_EQ(channel.GetTarget(2), &d);
    EXPECT_EQ(channel.RemoveTargetAt(3), nullptr);
    EXPECT_EQ(channel.RemoveTargetAt(0), &a);
    EXPECT_EQ(channel.GetTarget(0), &c);
    EXPECT_EQ(channel.GetNumTargets(), 2u);
}

TEST(OutputChannel, MessageBuilderCollectsTextAndNumbersIntoOneWrite) {
    UOutputChannel channel;
    RecordingHandler handler;
    channel.AddTarget(&handler);
    {
        UMessage message(channel, UString("count "));
        EXPECT_TRUE(channel.IsInMessage());
        message << int32_t(-3) << " " << uint32_t(7) << " " << 0.5 << " \"" << UString("n") << "\".";
    }
    EXPECT_FALSE(channel.IsInMessage());
    EXPECT_EQ(handler.events, (Events{"<begin>", "count -3 7 0.5000 \"n\".", "\r\n", "<end>"}));
}

TEST(OutputChannel, TargetWithoutHandlerDropsAndHandlersAreReplaced) {
    UCoreServices_ANSI& services = InitialisedServices();
    RecordingHandler first, second;
    EXPECT_EQ(services.SetChannelHandler(6, &first), nullptr);
    EXPECT_EQ(services.SetChannelHandler(6, &second), &first);
    EXPECT_EQ(services.SetChannelHandler(6, nullptr), &second);
    { UMessage(*services.GetChannel(6), "dropped"); }
    EXPECT_TRUE(first.events.empty());
    EXPECT_TRUE(second.events.empty());
    EXPECT_EQ(services.SetChannelHandler(8, &first), nullptr);
    EXPECT_EQ(services.SetChannelHandler(-1, &first), nullptr);
    EXPECT_EQ(services.GetChannelTarget(8), services.GetChannelTarget(0));
}
