#include <winsock2.h>
#include <windows.h>

#include <vector>

#include <gtest/gtest.h>

#include "service/ServiceControl.h"

// The control handler's reports, recorded instead of reaching the manager.

namespace {

struct Report {
    DWORD state;
    DWORD checkpoint;
    bool operator==(const Report& other) const
    {
        return state == other.state && checkpoint == other.checkpoint;
    }
};

std::vector<SERVICE_STATUS> g_reports;

BOOL WINAPI Record(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status)
{
    g_reports.push_back(*status);
    return TRUE;
}

class ServiceHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetServiceStatusReporter(&Record);
        SetTheServiceStatus(SERVICE_RUNNING, NO_ERROR, 0);
        g_reports.clear();
    }
    void TearDown() override { SetServiceStatusReporter(nullptr); }

    static std::vector<Report> Sequence()
    {
        std::vector<Report> reports;
        for (const SERVICE_STATUS& status : g_reports)
            reports.push_back({status.dwCurrentState, status.dwCheckPoint});
        return reports;
    }
};

std::ostream& operator<<(std::ostream& out, const Report& r)
{
    return out << "{state " << r.state << ", checkpoint " << r.checkpoint << "}";
}

struct Case {
    DWORD control;
    std::vector<Report> reports;
};

} // namespace

TEST_F(ServiceHandlerTest, EachControlMakesItsReportsThenTheFinalOne)
{
    const Case cases[] = {
        // "Stopped" comes from the service thread once it has finished.
        {SERVICE_CONTROL_STOP, {{SERVICE_STOP_PENDING, 1}, {SERVICE_STOP_PENDING, 0}}},
        {SERVICE_CONTROL_PAUSE, {{SERVICE_PAUSE_PENDING, 1}, {SERVICE_PAUSED, 0},
                                 {SERVICE_RUNNING, 0}}},
        {SERVICE_CONTROL_CONTINUE, {{SERVICE_CONTINUE_PENDING, 1}, {SERVICE_RUNNING, 0},
                                    {SERVICE_RUNNING, 0}}},
        {SERVICE_CONTROL_INTERROGATE, {{SERVICE_RUNNING, 0}, {SERVICE_RUNNING, 0}}},
        {SERVICE_CONTROL_SHUTDOWN, {{SERVICE_STOP_PENDING, 0}}},
        {SERVICE_CONTROL_PARAMCHANGE, {{SERVICE_RUNNING, 0}}},
        {200, {{SERVICE_RUNNING, 0}}},
    };
    for (const Case& c : cases) {
        SetTheServiceStatus(SERVICE_RUNNING, NO_ERROR, 0);
        g_reports.clear();
        ServiceHandler(c.control);
        EXPECT_EQ(Sequence(), c.reports) << "control " << c.control;
    }
}

TEST_F(ServiceHandlerTest, InterrogateReportsTheStoredStateFirst)
{
    SetTheServiceStatus(SERVICE_PAUSED, NO_ERROR, 0);
    g_reports.clear();
    ServiceHandler(SERVICE_CONTROL_INTERROGATE);
    EXPECT_EQ(Sequence(), (std::vector<Report>{{SERVICE_PAUSED, 0}, {SERVICE_RUNNING, 0}}));

    // After a stop the stored state is "stop pending", and so is the answer.
    ServiceHandler(SERVICE_CONTROL_STOP);
    g_reports.clear();
    ServiceHandler(SERVICE_CONTROL_INTERROGATE);
    EXPECT_EQ(Sequence(), (std::vector<Report>{{SERVICE_STOP_PENDING, 0}, {SERVICE_RUNNING, 0}}));
}

TEST_F(ServiceHandlerTest, EveryReportCarriesTheFixedFields)
{
    const DWORD controls[] = {SERVICE_CONTROL_STOP, SERVICE_CONTROL_PAUSE,
                              SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_INTERROGATE,
                              SERVICE_CONTROL_SHUTDOWN, 77};
    for (DWORD control : controls)
        ServiceHandler(control);
    ASSERT_FALSE(g_reports.empty());
    for (const SERVICE_STATUS& status : g_reports) {
        EXPECT_EQ(status.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
        EXPECT_EQ(status.dwControlsAccepted, 7u);
        EXPECT_EQ(status.dwWaitHint, 3000u);
        EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
        EXPECT_EQ(status.dwServiceSpecificExitCode, 0u);
    }
}
