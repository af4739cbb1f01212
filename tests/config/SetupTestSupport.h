#pragma once
// A program on a fake port and a recording host, for the setup command
// tests: the port is open and polling runs, as after start-up.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Program.h"
#include "config/DialogModel.h"
#include "settings/Profile.h"
#include "support/FakeHost.h"
#include "support/FakeSerialDevice.h"

namespace velmor {

class CSetupTest : public ::testing::Test {
protected:
    CSetupTest() : m_profile(CProfile::InMemory()), m_program(m_host, m_device, m_profile)
    {
        m_program.LoadSettingsAtStartup();
        m_program.OpenPortAtStartup();
        m_program.Session().StartPolling();
        m_device.ClearWritten();
        m_host.Clear();
    }

    // The bodies written since the last ClearWritten, "$BODY*\r\n" (or "$BODY*\r") unwrapped;
    // anything framed otherwise is kept whole.
    std::vector<std::string> Sent() const
    {
        std::vector<std::string> bodies;
        for (const std::string& w : m_device.Writes()) {
            // CR LF, or CR only for the legacy unit.
            const std::size_t tail = w.size() >= 3 && w.compare(w.size() - 3, 3, "*\r\n") == 0 ? 3
                                     : w.size() >= 2 && w.compare(w.size() - 2, 2, "*\r") == 0  ? 2
                                                                                               : 0;
            const bool framed = tail != 0 && w.size() >= tail + 1 && w.front() == '$';
            bodies.push_back(framed ? w.substr(1, w.size() - 1 - tail) : w);
        }
        return bodies;
    }

    // Runs the next dialog with |actions|.
    void OnDialog(std::function<void(CDialogModel&)> actions) { m_host.m_onDialog = std::move(actions); }

    static CControl& ByLabel(CDialogModel& dlg, const std::string& label)
    {
        CControl* c = dlg.FindByLabel(label);
        if (!c) throw std::logic_error("no control " + label);
        return *c;
    }
    static void Click(CDialogModel& dlg, const std::string& label) { dlg.Click(ByLabel(dlg, label).m_nId); }
    static void Set(CDialogModel& dlg, const std::string& label, const std::string& text)
    {
        dlg.SetText(ByLabel(dlg, label).m_nId, text);
    }

    CFakeHost m_host;
    CFakeSerialDevice m_device;
    CProfile m_profile;
    CProgram m_program;
};

using Bodies = std::vector<std::string>;

}  // namespace velmor
