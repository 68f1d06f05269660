// The connection sequence on the virtual clock: progress texts, retries,
// unsupported controllers, the finishing actions and the status poll.
#include <gtest/gtest.h>

#include "tests/support/Rig.h"

using kv::sim::Bytes;
using kv::test::Rig;
using Step = kv::link::ConnectionSequence::Step;

namespace {

// Every progress text with the virtual time it appeared at.
struct ProgressLog {
    explicit ProgressLog(Rig& rig) {
        rig.main->progress.lblCurrentINFO.listen([&rig, this] {
            entries.emplace_back(rig.clock.nowMs(), rig.main->progress.lblCurrentINFO.caption());
        });
    }
    std::vector<std::pair<std::int64_t, std::string>> entries;
};

int countWritten(Rig& rig, std::uint8_t code) {
    int n = 0;
    for (const auto& f : rig.port.written)
        if (!f.empty() && f[0] == code) ++n;
    return n;
}

const char* const kTexts[] = {" CONNECTING.... Please Wait",          " Getting Checksum.... Please Wait",
                              " Retrieving Params.... Please Wait",   " Acquiring Serial Number.... Please Wait",
                              " Acquiring Client ID.... Please Wait", " Acquiring Asset ID.... Please Wait",
                              " CONNECTED..OK"};

TEST(Sequence, APromptControllerIsIdentifiedInSevenSeconds) {
    Rig rig;
    rig.load();
    ProgressLog progress(rig);
    rig.main->setControls.DisableSetControls();
    rig.clock.advance(7000);
    ASSERT_EQ(progress.entries.size(), 7u);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(progress.entries[static_cast<std::size_t>(i)].first, 1000 * (i + 1)) << i;
        EXPECT_EQ(progress.entries[static_cast<std::size_t>(i)].second, kTexts[i]) << i;
    }
    auto& m = *rig.main;
    EXPECT_TRUE(m.progress.window.visible());
    EXPECT_EQ(m.sequence.step(), Step::Finished);
    rig.clock.advance(1000);
    EXPECT_FALSE(m.progress.window.visible());  // one tick after " CONNECTED..OK"
    EXPECT_EQ(m.progress.lblCurrentINFO.caption(), " CONNECTED..OK");

    EXPECT_EQ(m.identity.lblFWVersion.caption(), "K5b 162");
    EXPECT_EQ(m.identity.lblCheckSum.caption(), "1A 2B ");
    EXPECT_EQ(m.identity.lblMacAddress.caption(), " 0004A3B1C2D3");
    EXPECT_EQ(m.identity.lblClient.caption(), " 005");
    EXPECT_EQ(m.identity.txtAssetID.text(), " A1234");
    EXPECT_TRUE(m.window.button("cdmSetParams").enabled());
    EXPECT_TRUE(m.window.comboBox("cboCLientList").enabled());
    // One request of each kind went out, in order.
    std::vector<std::uint8_t> codes;
    for (const auto& f : rig.port.written) codes.push_back(f[0]);
    EXPECT_EQ(codes, (std::vector<std::uint8_t>{0x01, 0x0A, 0x06, 0x18, 0x15, 0x16}));
}

TEST(Sequence, HowTheRepliesAreCutDoesNotMatter) {
    using kv::sim::Chunking;
    const struct {
        const char* name;
        Chunking chunking;
        bool doubleReply;
    } cases[] = {{"whole", {Chunking::Whole, 0}, false},
                 {"byte by byte", {Chunking::ByteByByte, 0}, false},
                 {"split in the header", {Chunking::SplitAt, 2}, false},
                 {"split in the payload", {Chunking::SplitAt, 5}, false},
                 {"a status reply behind every reply", {Chunking::Whole, 0}, true},
                 {"both, byte by byte", {Chunking::ByteByByte, 0}, true}};
    for (const auto& c : cases) {
        Rig rig;
        rig.controller.modes.chunking = c.chunking;
        rig.controller.modes.doubleReply = c.doubleReply;
        rig.load();
        rig.clock.advance(7000);
        EXPECT_EQ(rig.main->sequence.step(), Step::Finished) << c.name;
        EXPECT_EQ(rig.main->progress.lblCurrentINFO.caption(), " CONNECTED..OK") << c.name;
        EXPECT_EQ(rig.main->identity.lblMacAddress.caption(), " 0004A3B1C2D3") << c.name;
        EXPECT_EQ(rig.main->identity.txtAssetID.text(), " A1234") << c.name;
        EXPECT_EQ(rig.port.written.size(), 6u) << c.name;
    }
}

TEST(Sequence, ASilentControllerIsAskedAgainEverySeventhTick) {
    Rig rig;
    rig.controller.modes.silent = true;
    rig.load();
    std::vector<std::int64_t> sent;
    for (int tick = 1; tick <= 30; ++tick) {
        std::size_t before = rig.port.written.size();
        rig.clock.advance(1000);
        if (rig.port.written.size() > before) sent.push_back(rig.clock.nowMs());
        EXPECT_LE(rig.main->sequence.step(), Step::Checksum);
    }
    EXPECT_EQ(sent, (std::vector<std::int64_t>{1000, 8000, 15000, 22000, 29000}));
    EXPECT_EQ(countWritten(rig, 0x01), 5);
    EXPECT_EQ(rig.main->progress.lblCurrentINFO.caption(), kTexts[0]);
    EXPECT_TRUE(rig.main->progress.window.visible());
}

TEST(Sequence, AnUnsupportedControllerSkipsSerialClientAndAsset) {
    Rig rig;
    rig.controller.state.fwText = "K5x";
    rig.load();
    ProgressLog progress(rig);
    rig.clock.advance(7000);
    EXPECT_EQ(rig.main->sequence.step(), Step::Finished);
    EXPECT_FALSE(rig.main->sequence.supported());
    EXPECT_EQ(countWritten(rig, 0x18) + countWritten(rig, 0x15) + countWritten(rig, 0x16), 0);
    ASSERT_EQ(progress.entries.size(), 4u);
    EXPECT_EQ(progress.entries[2].second, kTexts[2]);
    EXPECT_EQ(progress.entries[3], std::make_pair(std::int64_t{7000}, std::string(kTexts[6])));
}

TEST(Sequence, TickCountersStopAtTheirLimitAndASecondOkStartsOver) {
    Rig rig;
    rig.identify();
    ASSERT_EQ(rig.main->sequence.step(), Step::Finished);
    rig.clock.advance(40000LL * 1000);  // about eleven hours of ticks
    EXPECT_EQ(rig.main->sequence.ticks(), 32767);
    EXPECT_EQ(rig.main->sequence.step(), Step::Finished);
    EXPECT_FALSE(rig.main->progress.window.visible());

    // OK in the port dialog again identifies the controller again.
    rig.port.written.clear();
    rig.main->sequence.portConfirmed(true);
    EXPECT_TRUE(rig.main->progress.window.visible());
    rig.clock.advance(7000);
    EXPECT_EQ(rig.main->sequence.step(), Step::Finished);
    EXPECT_EQ(countWritten(rig, 0x01), 1);
    EXPECT_EQ(rig.main->progress.lblCurrentINFO.caption(), " CONNECTED..OK");
}

TEST(Sequence, FinishingOpensTheAssetDialogWhileTheCounterIsAboveZero) {
    const struct {
        const char* counter;
        bool opens;
    } cases[] = {{"5", true}, {"1", true}, {"0", false}, {"", false}, {"-2", false}, {".", false}, {"%", false},
                 {"abc", false}, {" 3 ", true}};
    for (const auto& c : cases) {
        Rig rig;
        auto& dialog = rig.main->assetDialog;
        dialog.txtScannedAsset.setText("old scan");
        rig.main->counter.lblCounter.setCaption(c.counter);
        rig.load();
        rig.clock.advance(6999);
        EXPECT_FALSE(dialog.window.visible());
        rig.clock.advance(1);
        EXPECT_EQ(dialog.window.visible(), c.opens) << "'" << c.counter << "'";
        EXPECT_EQ(dialog.txtScannedAsset.text(), c.opens ? "" : "old scan") << "'" << c.counter << "'";
        EXPECT_EQ(dialog.txtScannedAsset.focusRequests(), c.opens ? 1 : 0) << "'" << c.counter << "'";
    }
}

TEST(Sequence, StatusPollAsksOnlyWhenNothingIsPending) {
    Rig rig;
    rig.identify();
    rig.port.written.clear();
    auto& m = *rig.main;
    rig.controller.modes.silent = true;
    m.sequence.tmrStatusGET.setEnabled(true);
    rig.clock.advance(10000);
    EXPECT_EQ(countWritten(rig, 0x02), 1);
    EXPECT_TRUE(m.sequence.statusPending());
    rig.clock.advance(10000);
    EXPECT_EQ(countWritten(rig, 0x02), 1);  // still waiting for the first
    rig.controller.modes.silent = false;
    rig.port.deliver(rig.controller.statusReply());
    EXPECT_FALSE(m.sequence.statusPending());
    rig.clock.advance(10000);
    EXPECT_EQ(countWritten(rig, 0x02), 2);
}

}  // namespace
