#pragma once
// A test of the players over the stand-in controls: COM started, the
// stand-ins registered, a selector whose owner records what it is sent,
// and at the end every stand-in knob the test set unset again.
#include <gtest/gtest.h>
#include <windows.h>

#include "players/PlayerSelector.h"
#include "tests/platform/StandinSupport.h"
#include "tests/players/PlayerTestSupport.h"

class StandinSelectorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ASSERT_TRUE(RegisterStandins());
        m_selector.m_owner = m_owner.Handle();
        m_selector.SetParentWindow(m_owner.Handle());
        m_selector.SetRect(RECT{0, 0, 320, 240}, FALSE);
        TakeStandinLog();
    }
    void TearDown() override
    {
        m_selector.DestroyAll();
        ClearStandinKnobs();
        OleUninitialize();
    }

    RecordingOwner m_owner;
    CPlayerSelector m_selector;
};
