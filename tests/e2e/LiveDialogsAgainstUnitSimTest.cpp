// The live dialogs stay in contact with the unit while they are open: the
// rate output and time tag dialogs against the simulated unit.

#include <gtest/gtest.h>

#include "app/Menu.h"
#include "config/RateOutputDlg.h"
#include "config/TimeTagDlg.h"
#include "e2e/UnitSimSession.h"

namespace velmor::e2e {
namespace {

class LiveDialogsAgainstUnitSim : public ::testing::Test {
protected:
    void Identify(const std::vector<std::string>& args)
    {
        ASSERT_TRUE(m_sim.Start(args));
        m_session = std::make_unique<CSession>(m_sim.DevicePath());
        ASSERT_TRUE(m_session->RunUntil([&] { return m_session->m_program.Session().State().m_bIdentified; }, 10000));
    }
    CUnitSimProcess m_sim;
    std::unique_ptr<CSession> m_session;
};

TEST_F(LiveDialogsAgainstUnitSim, RateOutputShowsTheUnitsSettingAndItsEcho)
{
    Identify({"--type", "3"});
    CSession& session = *m_session;
    bool sawReply = false, sawEcho = false;
    session.m_host.m_onDialog = [&](CDialogModel& model) {
        auto& dialog = dynamic_cast<CRateOutputDlg&>(model);
        EXPECT_EQ(session.m_program.Session().RateOutputDlg(), &dialog);
        // The unit answers the dialog's query for output A.
        sawReply = session.RunUntil([&] { return dialog.Ctl(CRateOutputDlg::IDC_RATE_LIST).m_nSelection >= 0; },
                                    10000);
        // Choose "1 PPS" and apply: the unit's echo comes back into the dialog.
        dialog.Select(CRateOutputDlg::IDC_RATE_LIST, 11);
        dialog.Click(CRateOutputDlg::IDC_APPLY);
        dialog.Select(CRateOutputDlg::IDC_RATE_LIST, 1);  // the echo must put it back
        sawEcho = session.RunUntil([&] { return dialog.Ctl(CRateOutputDlg::IDC_RATE_LIST).m_nSelection == 11; },
                                   10000);
        dialog.Click(CRateOutputDlg::IDOK_RATE);
    };
    session.m_program.OnCommand(ID_SETUP_RATE_OUTPUT);
    EXPECT_TRUE(sawReply);
    EXPECT_TRUE(sawEcho);
    EXPECT_EQ(session.m_program.Session().RateOutputDlg(), nullptr);
    EXPECT_TRUE(session.m_program.Session().IsPolling());
}

TEST_F(LiveDialogsAgainstUnitSim, TimeTagListsTheUnitsTagsAndClearsThem)
{
    Identify({"--type", "0"});
    CSession& session = *m_session;
    bool sawTags = false, sawClear = false, sawMode = false;
    session.m_host.m_onDialog = [&](CDialogModel& model) {
        auto& dialog = dynamic_cast<CTimeTagDlg&>(model);
        const CControl& list = dialog.Ctl(CTimeTagDlg::IDC_TAG_LIST);
        // Tags stored in the unit, and new ones reported while the dialog is open.
        sawTags = session.RunUntil([&] { return list.m_items.size() >= 2; }, 20000);
        dialog.Click(CTimeTagDlg::IDC_WRAP);
        sawMode = session.RunUntil([&] { return dialog.IsChecked(CTimeTagDlg::IDC_WRAP); }, 10000);
        dialog.Click(CTimeTagDlg::IDC_CLEAR);
        sawClear = session.RunUntil([&] { return list.m_items.empty(); }, 10000);
        dialog.Click(CTimeTagDlg::IDCANCEL_TAG);
    };
    session.m_program.OnCommand(ID_SETUP_TIME_TAG);
    EXPECT_TRUE(sawTags);
    EXPECT_TRUE(sawMode);
    EXPECT_TRUE(sawClear);
    EXPECT_EQ(session.m_program.Session().TimeTagDlg(), nullptr);
    // With the dialog closed the unit's mode echo lands in the unit state.
    EXPECT_TRUE(session.RunUntil([&] { return session.m_program.Session().State().m_chTimeTagMode == 'W'; }, 10000));
}

}  // namespace
}  // namespace velmor::e2e
